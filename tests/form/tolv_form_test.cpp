#include "form/tolv_form.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/recording/recording.h"
#include "runtime/runtime.h"

namespace tolv {
namespace {

// A form whose page drivers only note that they ran.
class DispatchForm : public TolvForm {
 public:
  using TolvForm::TolvForm;
  std::vector<std::string> ran;
  bool fail = false;

  void ComposePageMini() override { Note("ComposePageMini"); }
  void ComposePageMaxi() override { Note("ComposePageMaxi"); }
  void PrintPageDirectMini() override { Note("PrintPageDirectMini"); }
  void PrintPageDirectMaxi() override { Note("PrintPageDirectMaxi"); }
  void PrintRoduvu() override { Note("PrintRoduvu"); }

 private:
  void Note(const std::string& name) {
    ran.push_back(name);
    if (fail) throw RuntimeError(ErrorKind::kDeviceError, "driver failed");
  }
};

std::string DriverFor(int16_t paper_type, int16_t blank) {
  JobState job;
  job.PrintJob.PaperType = paper_type;
  job.PrintJob.Blank = blank;
  recording::RecordingPlatform platform;
  DispatchForm form(job, platform);
  form.Show();
  EXPECT_LE(form.ran.size(), 1u);
  return form.ran.empty() ? "none" : form.ran.front();
}

TEST(DispatchTest, EachOutputModeAndFormTypeReachesItsDriver) {
  for (int16_t paper_type : {0, 1}) {
    for (int16_t blank : {3, 4, 5, 6}) EXPECT_EQ(DriverFor(paper_type, blank), "ComposePageMaxi");
    for (int16_t blank : {1, 2, 7, 0, 9, -1}) {
      EXPECT_EQ(DriverFor(paper_type, blank), "ComposePageMini");
    }
  }
  for (int16_t blank : {3, 4, 5, 6}) EXPECT_EQ(DriverFor(2, blank), "PrintPageDirectMaxi");
  for (int16_t blank : {1, 2, 7, 0, 9}) EXPECT_EQ(DriverFor(2, blank), "PrintPageDirectMini");
  for (int16_t blank : {1, 2, 3, 4, 5, 7, 0, 8}) EXPECT_EQ(DriverFor(3, blank), "PrintRoduvu");
  EXPECT_EQ(DriverFor(3, 6), "none");
  for (int16_t paper_type : {-1, 4, 32767}) EXPECT_EQ(DriverFor(paper_type, 1), "none");
}

TEST(FormTest, PictureBoxesHaveTheirDesignAndPicture1ItsOriginAfterLoad) {
  JobState job;
  recording::RecordingPlatform platform;
  TolvForm form(job, platform);
  form.Form_Load();
  EXPECT_EQ(form.Picture1().Width(), 31305);
  EXPECT_EQ(form.Picture1().Height(), 45600);
  EXPECT_EQ(form.Picture1().ScaleLeft(), -200);
  EXPECT_EQ(form.Picture2().Width(), 1395);
  EXPECT_EQ(form.Picture2().Height(), 3075);
  EXPECT_EQ(form.DestPic().Width(), 3885);
  EXPECT_EQ(form.DestPic().Height(), 1485);
  EXPECT_TRUE(form.Picture1().FontBold());
  EXPECT_FALSE(form.Picture2().FontBold());
  EXPECT_EQ(form.Picture2().FontSize(), 36);
}

TEST(FormTest, AFailingDriverStillLeadsToThePictureRelease) {
  JobState job;
  job.PrintJob.PaperType = 2;
  job.PrintJob.Blank = 1;
  recording::RecordingPlatform platform;
  DispatchForm form(job, platform);
  form.fail = true;
  form.Picture2().SetPicture(recording::SolidPicture(2, 2, 0xFF000000u));
  form.Show();
  EXPECT_EQ(form.ran, std::vector<std::string>{"PrintPageDirectMini"});
  EXPECT_EQ(form.Picture1().Picture(), nullptr);
  EXPECT_EQ(form.Picture2().Picture(), nullptr);
  EXPECT_EQ(form.DestPic().Picture(), nullptr);
}

}  // namespace
}  // namespace tolv
