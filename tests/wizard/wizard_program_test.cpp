// `ravenote --wizard` as a new user meets it: a fresh profile, the welcome,
// the Sprint PCS path, Done, and then the registry file and ravenoted.
#include "wizard/wizard_program.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <fstream>
#include <sstream>

#include "fake_message_boxes.h"
#include "fakes.h"
#include "message_recorder.h"
#include "widget_find.h"
#include "wizard/controls.h"
#include "wizard/generic_frame.h"
#include "wizard/main_form.h"

namespace rn {
namespace {

namespace fs = std::filesystem;
using P = TWizardPage;
using test::Child;

std::string ReadText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class WizardProgram : public ::testing::Test {
 protected:
  fs::path RegistryFile() const { return home / "config/ravenote/registry.reg"; }

  void Start() {
    program = std::make_unique<TWizardProgram>(RegistryFile(), boxes);
    program->OnEnd = [this](int status) { ended = status; };
    program->Start();
    if (TMainForm* host = program->Host()) {
      host->activateWindow();
      QApplication::setActiveWindow(host);
    }
    test::DeliverPostedEvents();
  }
  TGenericFrame* Page() const { return program->Installer().CurrentPage(); }
  std::optional<P> PageId() const { return program->Installer().PageId(Page()); }
  void Press(const char* button) {
    QTest::mouseClick(Child<QPushButton>(Page(), button), Qt::LeftButton);
    test::DeliverPostedEvents();
  }
  void Type(const char* field, const QString& text) {
    auto* edit = Child<QLineEdit>(Page(), field);
    edit->setFocus();
    edit->setCursorPosition(0);
    QTest::keyClicks(edit, text);
  }
  void Tick(const char* box) { QTest::mouseClick(Child<QCheckBox>(Page(), box), Qt::LeftButton); }

  test::TempFolder home;
  test::TFakeMessageBoxes boxes;
  std::unique_ptr<TWizardProgram> program;
  std::optional<int> ended;
};

TEST_F(WizardProgram, SprintPcsWalkOnAFreshProfileSavesWhatRavenotedRunsWith) {
  Start();
  ASSERT_EQ(boxes.Shown().size(), 1u);
  EXPECT_EQ(boxes.Last().Box.Text,
            "Welcome To Ravenote. You must complete\r\nthe configuration at this time.");
  EXPECT_EQ(boxes.Last().Box.Icon, TBoxIcon::Information);
  EXPECT_FALSE(program->Host()) << "the wizard waits until the welcome is read";
  boxes.Answer(TBoxAnswer::Ok);
  ASSERT_TRUE(program->Host());
  program->Host()->activateWindow();
  QApplication::setActiveWindow(program->Host());
  test::DeliverPostedEvents();

  ASSERT_EQ(PageId(), P::Welcome);
  Press("NextButton");
  ASSERT_EQ(PageId(), P::Carrier);  // Sprint PCS is chosen on a first run
  Press("NextButton");
  ASSERT_EQ(PageId(), P::Phone);
  Type("CellNumber", "5551234567");
  Child<TTimePicker>(Page(), "EarlyTime")->setTime(QTime(7, 0));
  Child<TTimePicker>(Page(), "LateTime")->setTime(QTime(19, 0));
  Press("NextButton");
  ASSERT_EQ(PageId(), P::Server);
  Type("Server", "localhost:2525");
  Tick("Authenticate");
  Type("User", "me");
  Type("Pass", "abc");
  Type("FromEmail", "me@example.org");
  Press("NextButton");
  ASSERT_EQ(PageId(), P::Meeting);
  Tick("cbMeetingNotify");
  Press("NextButton");
  ASSERT_EQ(PageId(), P::Task);
  Press("NextButton");  // Done
  ASSERT_EQ(ended, kWizardSaved);
  EXPECT_FALSE(program->Host());

  // The file holds exactly those values, each with its type.
  const std::string text = ReadText(RegistryFile());
  std::string lines = text;
  std::erase(lines, '\r');
  for (const char* line : {"[HKEY_CURRENT_USER\\Software\\Quarrowmere\\Ravenote]",
                           "\"Version\"=\"01.01.00.005\"",
                           "\"MeetingNotify\"=dword:00000001",
                           "\"MorningNotify\"=dword:00000000",
                           "\"EveningNotify\"=dword:00000000",
                           "\"TaskNotify\"=dword:00000000",
                           "\"TaskPreNotify\"=dword:00000000",
                           "\"TaskReminder\"=dword:00000000",
                           "\"UrgentEmail\"=dword:00000000",
                           "\"TaskRemindPeriod\"=dword:ffffffff",
                           "\"Pin\"=\"5551234567\"",
                           "\"Service\"=dword:00000004",
                           "\"CustomAddr\"=\"\"",
                           "\"CustomEmail\"=\"\"",
                           "\"Server\"=\"localhost:2525\"",
                           "\"UserName\"=\"me\"",
                           "\"Pass\"=\"xwv\"",
                           "\"MustSignIn\"=dword:00000001",
                           "\"Pop3Signin\"=dword:00000000",
                           "\"Pop3Server\"=\"\"",
                           "\"FromEmail\"=\"me@example.org\""}) {
    EXPECT_NE(lines.find("\n" + std::string(line) + "\n"), std::string::npos) << line << "\n"
                                                                              << text;
  }
  const TRegKey key = TRegistry(RegistryFile()).OpenKey(kRegistryKey);
  for (const auto& [name, want] : {std::pair{"EarlyTime", EncodeDateTime(2002, 3, 22, 7, 0)},
                                   std::pair{"LateTime", EncodeDateTime(2002, 3, 22, 19, 0)}}) {
    const auto value = key.Get(name);
    ASSERT_TRUE(value);
    EXPECT_EQ(value->Type, TRegType::Binary) << name;
    EXPECT_EQ(value->Bytes.size(), 8u) << name;
    EXPECT_DOUBLE_EQ(key.ReadDouble(name), want) << name;
  }

  // ravenoted on this profile is configured: no first-run text, and it runs.
  QProcess ravenoted;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("HOME", QString::fromStdString(home.Path().string()));
  env.insert("XDG_CONFIG_HOME", QString::fromStdString((home / "config").string()));
  env.insert("XDG_STATE_HOME", QString::fromStdString((home / "state").string()));
  env.insert("XDG_DATA_HOME", QString::fromStdString((home / "data").string()));
  ravenoted.setProcessEnvironment(env);
  ravenoted.start(RAVENOTED_PATH, QStringList());
  ASSERT_TRUE(ravenoted.waitForStarted());
  QByteArray out;
  QElapsedTimer waited;
  waited.start();
  while (!out.contains("Processor Idle.") && waited.elapsed() < 60000 &&
         ravenoted.state() == QProcess::Running) {
    ravenoted.waitForReadyRead(1000);
    out += ravenoted.readAllStandardOutput();
  }
  EXPECT_TRUE(out.contains("Processor Idle.")) << out.toStdString();
  ravenoted.terminate();
  ASSERT_TRUE(ravenoted.waitForFinished(30000));
  const QByteArray err = ravenoted.readAllStandardError();
  EXPECT_EQ(ravenoted.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(ravenoted.exitCode(), 0) << err.toStdString();
  EXPECT_FALSE(err.contains("not configured")) << err.toStdString();
  EXPECT_FALSE(err.contains("Error Reading Registry")) << err.toStdString();
  EXPECT_EQ(ReadText(RegistryFile()), text) << "ravenoted never writes the file";
}

TEST_F(WizardProgram, ConfirmedCancelSavesNothingAndEnds) {
  Start();
  boxes.Answer(TBoxAnswer::Ok);  // the welcome
  test::DeliverPostedEvents();
  Press("NextButton");
  Press("NextButton");
  Type("CellNumber", "5551234567");
  Press("NextButton");
  boxes.SetNextAnswer(TBoxAnswer::Yes);
  Press("CancelButton");
  EXPECT_EQ(ended, kWizardNotSaved);
  EXPECT_FALSE(program->Host());
  EXPECT_EQ(boxes.Shown().size(), 2u) << "the reload greets nobody";
  EXPECT_FALSE(fs::exists(RegistryFile()));
}

TEST_F(WizardProgram, AnUnreadableRegistryFileIsReportedAndLeftAlone) {
  fs::create_directories(RegistryFile().parent_path());
  const std::string damaged = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\";
  std::ofstream(RegistryFile(), std::ios::binary) << damaged;
  Start();
  ASSERT_EQ(boxes.Shown().size(), 1u);
  EXPECT_TRUE(boxes.Last().Box.Text.startsWith("Error Reading Registry"));
  EXPECT_FALSE(program->Host()) << "no wizard whose values could not be saved";
  EXPECT_FALSE(ended);
  boxes.Answer(TBoxAnswer::Ok);
  EXPECT_EQ(ended, kWizardNotSaved);
  EXPECT_EQ(ReadText(RegistryFile()), damaged);
}

TEST_F(WizardProgram, AValueThatCannotBeReadIsReportedBeforeTheWizardOpens) {
  fs::create_directories(RegistryFile().parent_path());
  std::ofstream(RegistryFile(), std::ios::binary)
      << "Windows Registry Editor Version 5.00\r\n\r\n"
         "[HKEY_CURRENT_USER\\Software\\Quarrowmere\\Ravenote]\r\n"
         "\"Version\"=\"01.01.00.005\"\r\n";
  Start();
  ASSERT_EQ(boxes.Shown().size(), 1u);
  EXPECT_TRUE(boxes.Last().Box.Text.startsWith("Error Reading Registry"));
  EXPECT_FALSE(program->Host());
  boxes.Answer(TBoxAnswer::Ok);
  EXPECT_TRUE(program->Host()) << "the wizard can mend what is missing";
  EXPECT_FALSE(ended);
}

}  // namespace
}  // namespace rn
