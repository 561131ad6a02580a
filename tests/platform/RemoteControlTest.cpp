#include "platform/qt/RemoteControl.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/HostPaths.h"
#include "platform/Platform.h"
#include "platform/qt/QtPlatform.h"
#include "support/QtPump.h"
#include "support/TempFolder.h"

namespace pagemoor {
namespace {

using test::ScopedEnv;
using test::TempFolder;

using test::PumpUntil;

// Lets already queued events run, for checks that something did NOT arrive.
void PumpPending() {
  for (int i = 0; i < 20; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// A socket file that nobody listens on any more, as a crashed process leaves it.
void MakeStaleSocket(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(path.size(), sizeof address.sun_path);
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0) << path;
  ::close(fd);
}

bool IsSocket(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

// Every test has its own runtime folder, so tests never meet each other or a
// Pagemoor that really runs on this machine.
class RemoteControlTest : public ::testing::Test {
 protected:
  TempFolder m_runtime;
  ScopedEnv m_runtimeEnv{"XDG_RUNTIME_DIR", m_runtime.path().c_str()};
  std::vector<int> m_received;

  RemoteControl::Handler recorder() {
    return [this](int message) { m_received.push_back(message); };
  }
  bool receivedCount(std::size_t n) {
    return PumpUntil([&] { return m_received.size() >= n; });
  }
};

TEST(RemoteSocketNames, FileNameIsLowerCaseWithSafeCharactersOnly) {
  const struct {
    std::string name;
    std::string file;
  } cases[] = {
      {"pagemoor", "pagemoor.sock"},
      {"Pagemoor Core", "pagemoor-core.sock"},
      {"A_b-9.x", "a_b-9.x.sock"},
      {"../up/Down", "_.._up_down.sock"},  // no folder steps, no hidden file
      {".hidden", "_.hidden.sock"},
      {"", "_.sock"},
      {"Čaj", "__aj.sock"},  // each byte outside ASCII letters and digits becomes '_'
      {std::string(80, 'x'), std::string(64, 'x') + ".sock"},
  };
  for (const auto& c : cases) EXPECT_EQ(RemoteSocketFileName(c.name), c.file) << c.name;
}

TEST(RemoteSocketNames, RuntimeFolderIsUsedOnlyWhenOthersCannotWriteIt) {
  TempFolder temp;
  ScopedEnv tempEnv("TEMP", temp.path().c_str());
  TempFolder runtime;
  const std::string worldWritable = runtime.path() + "world-writable/";
  std::filesystem::create_directory(worldWritable);
  ::chmod(worldWritable.c_str(), 0777);
  const std::string privateDir = PrivateTempDir();

  const struct {
    const char* value;
    std::string dir;
  } cases[] = {
      {runtime.path().c_str(), runtime.path()},
      {nullptr, privateDir},
      {"", privateDir},
      {"relative/run", privateDir},
      {"/nonexistent/pagemoor-run", privateDir},
      {worldWritable.c_str(), privateDir},
  };
  for (const auto& c : cases) {
    ScopedEnv env("XDG_RUNTIME_DIR", c.value);
    EXPECT_EQ(RemoteSocketDir(), c.dir) << (c.value ? c.value : "(unset)");
  }
  ScopedEnv env("XDG_RUNTIME_DIR", runtime.path().c_str());
  EXPECT_EQ(RemoteSocketPath("Pagemoor Core"), runtime.path() + "pagemoor-core.sock");
}

TEST(RemoteSocketNames, OnlyDigitLinesAreMessages) {
  const struct {
    std::string line;
    std::optional<int> message;
  } cases[] = {
      {"1025", 1025},
      {"1034\r", 1034},
      {"7", 7},  // handed on as it is; the receiver ignores what it does not know
      {"000001026", 1026},
      {"", std::nullopt},
      {"\r", std::nullopt},
      {"-1025", std::nullopt},
      {"+1025", std::nullopt},
      {" 1025", std::nullopt},
      {"1025 ", std::nullopt},
      {"10x5", std::nullopt},
      {"0x401", std::nullopt},
      {"9999999999", std::nullopt},  // would not fit
  };
  for (const auto& c : cases) EXPECT_EQ(ParseRemoteLine(c.line), c.message) << '"' << c.line << '"';
}

TEST_F(RemoteControlTest, PostedMessagesArriveInOrderInTheSameProcess) {
  RemoteControl listener;
  ASSERT_TRUE(listener.listen(kPagemoorRemoteName, recorder()));
  EXPECT_EQ(listener.socketPath(), m_runtime.path() + "pagemoor.sock");
  EXPECT_TRUE(IsSocket(listener.socketPath()));

  for (int message : {1025, 1031, 1034}) EXPECT_TRUE(RemoteControl::post(kPagemoorRemoteName, message));
  ASSERT_TRUE(receivedCount(3));
  EXPECT_EQ(m_received, (std::vector<int>{1025, 1031, 1034}));

  // Closing gives the name back.
  listener.close();
  EXPECT_FALSE(std::filesystem::exists(m_runtime.path() + "pagemoor.sock"));
  EXPECT_FALSE(RemoteControl::post(kPagemoorRemoteName, 1025));
}

TEST_F(RemoteControlTest, QtPlatformListensAndPostsByName) {
  QtPlatform platform;
  std::vector<int> core;
  ASSERT_TRUE(platform.listenForRemoteMessages(kPagemoorRemoteName, recorder()));
  ASSERT_TRUE(platform.listenForRemoteMessages(kCorePeerName, [&](int m) { core.push_back(m); }));

  EXPECT_TRUE(platform.postRemoteMessage(kCorePeerName, 1029));
  EXPECT_TRUE(platform.postRemoteMessage(kPagemoorRemoteName, 1026));
  ASSERT_TRUE(receivedCount(1));
  ASSERT_TRUE(PumpUntil([&] { return !core.empty(); }));
  EXPECT_EQ(m_received, std::vector<int>{1026});
  EXPECT_EQ(core, std::vector<int>{1029});

  // A second call replaces the handler and keeps the socket.
  std::vector<int> replaced;
  ASSERT_TRUE(platform.listenForRemoteMessages(kPagemoorRemoteName, [&](int m) { replaced.push_back(m); }));
  EXPECT_TRUE(platform.postRemoteMessage(kPagemoorRemoteName, 1027));
  ASSERT_TRUE(PumpUntil([&] { return !replaced.empty(); }));
  PumpPending();
  EXPECT_EQ(replaced, std::vector<int>{1027});
  EXPECT_EQ(m_received, std::vector<int>{1026});
}

TEST_F(RemoteControlTest, ProgramSendsToTheRunningPagemoor) {
  RemoteControl listener;
  ASSERT_TRUE(listener.listen(kPagemoorRemoteName, recorder()));

  QProcess process;
  process.start(QStringLiteral(PAGEMOOR_EXECUTABLE), {QStringLiteral("--remote"), QStringLiteral("1026")});
  ASSERT_TRUE(PumpUntil([&] { return process.state() == QProcess::NotRunning && !m_received.empty(); }))
      << "received " << m_received.size() << ", stderr: " << process.readAllStandardError().toStdString();
  EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
  EXPECT_EQ(m_received, std::vector<int>{1026});
}

TEST_F(RemoteControlTest, StaleSocketIsTakenOver) {
  const std::string path = m_runtime.path() + "pagemoor.sock";
  MakeStaleSocket(path);
  ASSERT_TRUE(IsSocket(path));
  // Nobody answers there.
  EXPECT_FALSE(RemoteControl::post(kPagemoorRemoteName, 1025));

  RemoteControl listener;
  ASSERT_TRUE(listener.listen(kPagemoorRemoteName, recorder()));
  EXPECT_TRUE(RemoteControl::post(kPagemoorRemoteName, 1033));
  ASSERT_TRUE(receivedCount(1));
  EXPECT_EQ(m_received, std::vector<int>{1033});
}

TEST_F(RemoteControlTest, LiveNameIsNotTakenFromItsListener) {
  RemoteControl first;
  ASSERT_TRUE(first.listen(kPagemoorRemoteName, recorder()));

  RemoteControl second;
  std::vector<int> stolen;
  EXPECT_FALSE(second.listen(kPagemoorRemoteName, [&](int m) { stolen.push_back(m); }));
  EXPECT_FALSE(second.isListening());
  // A refused listener never removes the socket on its way out.
  second.close();

  EXPECT_TRUE(RemoteControl::post(kPagemoorRemoteName, 1028));
  ASSERT_TRUE(receivedCount(1));
  PumpPending();
  EXPECT_EQ(m_received, std::vector<int>{1028});
  EXPECT_TRUE(stolen.empty());

  // Once the first has gone, the name is free.
  first.close();
  EXPECT_TRUE(second.listen(kPagemoorRemoteName, [&](int m) { stolen.push_back(m); }));
}

TEST_F(RemoteControlTest, FileThatIsNotASocketIsLeftAlone) {
  const std::string path = m_runtime.write("pagemoor.sock", "notes");
  RemoteControl listener;
  EXPECT_FALSE(listener.listen(kPagemoorRemoteName, recorder()));
  EXPECT_EQ(m_runtime.read("pagemoor.sock"), "notes");
  EXPECT_FALSE(RemoteControl::post(kPagemoorRemoteName, 1025));
}

TEST_F(RemoteControlTest, PostingToAMissingPeerFails) {
  QtPlatform platform;
  EXPECT_FALSE(platform.postRemoteMessage(kCorePeerName, 1029));
  EXPECT_FALSE(platform.postRemoteMessage(kPagemoorRemoteName, 1025));
  // The runtime folder itself gone: still just false.
  ScopedEnv env("XDG_RUNTIME_DIR", (m_runtime.path() + "missing").c_str());
  EXPECT_FALSE(RemoteControl::post(kPagemoorRemoteName, 1025));
}

TEST_F(RemoteControlTest, GarbageIsIgnoredAndTheListenerKeepsServing) {
  RemoteControl listener;
  ASSERT_TRUE(listener.listen(kPagemoorRemoteName, recorder()));
  const QString path = QString::fromStdString(listener.socketPath());

  {
    QLocalSocket client;
    client.connectToServer(path);
    ASSERT_TRUE(client.waitForConnected(5000));
    // Many lines on one connection, a number split across two writes, and a
    // last line without its "\n".
    client.write("hello\n1025\n12x\n\n-3\n 1026\n1027\r\n99999999999\n10");
    ASSERT_TRUE(client.waitForBytesWritten(5000));
    ASSERT_TRUE(receivedCount(2));
    client.write("31\n1028");
    ASSERT_TRUE(client.waitForBytesWritten(5000));
    ASSERT_TRUE(receivedCount(3));
    client.disconnectFromServer();
  }
  {
    // A line that never ends is cut off rather than buffered.
    QLocalSocket client;
    client.connectToServer(path);
    ASSERT_TRUE(client.waitForConnected(5000));
    client.write(QByteArray(4096, '7'));
    client.waitForBytesWritten(5000);
    ASSERT_TRUE(PumpUntil([&] { return client.state() == QLocalSocket::UnconnectedState; }));
  }
  EXPECT_TRUE(RemoteControl::post(kPagemoorRemoteName, 1034));
  ASSERT_TRUE(receivedCount(4));
  PumpPending();
  EXPECT_EQ(m_received, (std::vector<int>{1025, 1027, 1031, 1034}));
}

// Connections that say nothing: each is closed after the idle time, and
// never more than the cap are open, the oldest giving way, so that they
// cannot keep a real sender out.
TEST_F(RemoteControlTest, SilentConnectionsAreClosedAndCapped) {
  RemoteControl listener;
  listener.connections().setIdleTimeout(std::chrono::milliseconds(300));
  ASSERT_TRUE(listener.listen(kPagemoorRemoteName, recorder()));
  const QString path = QString::fromStdString(listener.socketPath());
  constexpr std::size_t kSilent = ConnectionGuard::kMaxConnections + 4;
  std::vector<std::unique_ptr<QLocalSocket>> silent;
  for (std::size_t i = 0; i < kSilent; ++i) {
    silent.push_back(std::make_unique<QLocalSocket>());
    silent.back()->connectToServer(path);
    ASSERT_TRUE(silent.back()->waitForConnected(5000));
    // Taken by the listener one by one, in the order they came.
    ASSERT_TRUE(PumpUntil([&] {
      return listener.connections().openCount() == std::min(i + 1, ConnectionGuard::kMaxConnections);
    }));
  }
  // The first ones gave way to the last.
  for (std::size_t i = 0; i < kSilent - ConnectionGuard::kMaxConnections; ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(PumpUntil([&] { return silent[i]->state() == QLocalSocket::UnconnectedState; }));
  }
  EXPECT_EQ(silent.back()->state(), QLocalSocket::ConnectedState);
  // A real sender still gets through while they are all open.
  EXPECT_TRUE(RemoteControl::post(kPagemoorRemoteName, 1025));
  ASSERT_TRUE(receivedCount(1));

  // A connection that talks now and then stays while the silent ones go.
  QLocalSocket talker;
  talker.connectToServer(path);
  ASSERT_TRUE(talker.waitForConnected(5000));
  QDeadlineTimer talking(900);
  while (!talking.hasExpired()) {
    talker.write("7\n");
    talker.waitForBytesWritten(1000);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
  }
  EXPECT_EQ(talker.state(), QLocalSocket::ConnectedState);
  for (const auto& s : silent)
    EXPECT_TRUE(PumpUntil([&] { return s->state() == QLocalSocket::UnconnectedState; }));
  EXPECT_EQ(listener.connections().openCount(), 1u);
  // And it goes too once it falls silent.
  EXPECT_TRUE(PumpUntil([&] { return talker.state() == QLocalSocket::UnconnectedState; }));
}

}  // namespace
}  // namespace pagemoor
