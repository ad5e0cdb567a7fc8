// A second start's channel to the running copy, and where the help book and
// the maker's pages are found.
#include "shell/window/instance_channel.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QFile>
#include <QLocalSocket>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "fakes.h"
#include "shell/window/help_book.h"

namespace rn {
namespace {

// Runs `client` on a thread of its own while this thread, the window's,
// delivers events; the limit only keeps a broken build from hanging.
template <class Client>
void WhileServing(Client client) {
  std::atomic<bool> done{false};
  std::thread thread([&] {
    client();
    done = true;
  });
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!done && std::chrono::steady_clock::now() < giveUp)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  thread.join();
}

TEST(InstanceChannel, AShowRequestBringsTheRunningCopyForward) {
  test::TempFolder folder;
  int shown = 0;
  TInstanceServer server(QString::fromStdString(folder.Path().string()), [&] { ++shown; });
  QString error;
  ASSERT_TRUE(server.Listen(&error)) << error.toStdString();
  struct stat info {};
  ASSERT_EQ(::stat(QFile::encodeName(server.SocketPath()).constData(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  bool answered = false;
  WhileServing(
      [&] { answered = AskRunningCopyToShow(server.SocketPath().section('/', 0, -2), 5000); });
  EXPECT_TRUE(answered);
  EXPECT_EQ(shown, 1);
}

TEST(InstanceChannel, AnythingButAShowRequestIsIgnored) {
  test::TempFolder folder;
  int shown = 0;
  TInstanceServer server(QString::fromStdString(folder.Path().string()), [&] { ++shown; });
  QString error;
  ASSERT_TRUE(server.Listen(&error));
  for (const QByteArray& request :
       {QByteArray("hide\n"), QByteArray("show now\n"), QByteArray(200, 'x')}) {
    WhileServing([&] {
      QLocalSocket socket;
      socket.connectToServer(server.SocketPath());
      ASSERT_TRUE(socket.waitForConnected(5000));
      socket.write(request);
      socket.waitForBytesWritten(5000);
      // The server hangs up without an answer.
      while (socket.state() == QLocalSocket::ConnectedState && socket.waitForReadyRead(5000)) {
      }
      EXPECT_FALSE(socket.readAll().contains("ok"));
    });
  }
  EXPECT_EQ(shown, 0);
}

TEST(InstanceChannel, NoRunningCopyNoAnswerAndALeftoverSocketIsReplaced) {
  test::TempFolder folder;
  const QString path = QString::fromStdString(folder.Path().string());
  EXPECT_FALSE(AskRunningCopyToShow(path, 1000)) << "nothing listens";
  std::ofstream(folder / kInstanceSocketName) << "left by a copy that died";
  EXPECT_FALSE(AskRunningCopyToShow(path, 1000));
  int shown = 0;
  TInstanceServer server(path, [&] { ++shown; });
  QString error;
  EXPECT_TRUE(server.Listen(&error)) << error.toStdString();
  bool answered = false;
  WhileServing([&] { answered = AskRunningCopyToShow(path, 5000); });
  EXPECT_TRUE(answered);
}

TEST(HelpBook, PagesContextsAndTheMakersAddresses) {
  const THelpBook book("/usr/share/ravenote/help");
  EXPECT_EQ(book.Contents(), QUrl("file:///usr/share/ravenote/help/index.html"));
  EXPECT_EQ(book.AtContext(25), QUrl("file:///usr/share/ravenote/help/index.html#context-25"));
  EXPECT_EQ(book.AtContext(9999), QUrl("file:///usr/share/ravenote/help/index.html#context-9999"));
  struct Case {
    const char* address;
    const char* url;
  } cases[] = {
      {"about.html", "file:///usr/share/ravenote/help/about.html"},
      {"release-notes.html#1.1.0", "file:///usr/share/ravenote/help/release-notes.html#1.1.0"},
      {"https://example.org/ravenote/", "https://example.org/ravenote/"},
      {"file:///opt/notes.html", "file:///opt/notes.html"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(book.Address(c.address), QUrl(c.url)) << c.address;
  EXPECT_EQ(book.HomePage(), book.Address(RAVENOTE_HOME_PAGE));
  EXPECT_EQ(book.UpgradePage(), book.Address(RAVENOTE_UPGRADE_PAGE));
}

TEST(HelpBook, TheInstalledBookBesideTheProgramElseTheSourceTreesOwn) {
  test::TempFolder prefix;
  std::filesystem::create_directories(prefix / "bin");
  const QString bin = QString::fromStdString((prefix / "bin").string());
  EXPECT_EQ(THelpBook::Locate(bin).Folder(), RAVENOTE_HELP_SOURCE_DIR);
  EXPECT_TRUE(QFile::exists(THelpBook::Locate(bin).Contents().toLocalFile()));

  const auto installed = prefix.Path() / RAVENOTE_HELP_INSTALL_DIR;
  std::filesystem::create_directories(installed);
  std::ofstream(installed / "index.html") << "<title>Contents</title>";
  EXPECT_EQ(THelpBook::Locate(bin).Folder().toStdString(), installed.string());
}

}  // namespace
}  // namespace rn
