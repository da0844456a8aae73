#include "platform/qt/clipboard/wayland_clipboard.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <algorithm>
#include <QThread>
#include <string>
#include <vector>

#include "wl_clipboard_tools.h"

// Runs in the headless sway that ctest -L desktop starts (with_sway.sh);
// skipped elsewhere, a real session's clipboard included. Other programs' copies are made
// with wl-copy and read back with wl-paste.
namespace bm::qt {
namespace {

class WaylandClipboardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (test::inTestCompositor()) clipboard = WaylandClipboard::connect();
    if (!clipboard) GTEST_SKIP() << "needs a Wayland session with data-control (ctest -L desktop)";
  }

  void copyWithWlCopy(const QByteArray& bytes, const QString& type) {
    others.copy(bytes, type);
    ASSERT_TRUE(waitForChange()) << "the copy was not reported";
  }

  bool waitForChange(int milliseconds = 5000) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < milliseconds) {
      if (clipboard->dispatch()) return true;
      QThread::msleep(5);
    }
    return false;
  }

  QByteArray paste(const QStringList& arguments) {
    return test::WlClipboardTools::paste(arguments, [&] { clipboard->dispatch(); });
  }

  std::unique_ptr<WaylandClipboard> clipboard;
  test::WlClipboardTools others;
};

TEST_F(WaylandClipboardTest, AnotherProgramsCopyIsReportedWithItsTypesAndBytes) {
  const QByteArray html = "<b>bold</b> and plain";
  copyWithWlCopy(html, "text/html");
  EXPECT_FALSE(clipboard->selectionIsOurs());
  // wl-copy offers any text type with the plain-text flavours after it.
  const std::vector<std::string> types = {"text/html", "text/plain", "text/plain;charset=utf-8", "TEXT", "STRING",
                                          "UTF8_STRING"};
  EXPECT_EQ(clipboard->types(), types);
  EXPECT_EQ(clipboard->read("text/html"), html);

  const QByteArray binary("\x00\x01\xff\x00\x7f", 5);
  copyWithWlCopy(binary, "application/x-brindlemux-test");
  EXPECT_EQ(clipboard->read("application/x-brindlemux-test"), binary);
}

TEST_F(WaylandClipboardTest, OurOfferIsTheSelectionAndServedToOthers) {
  const std::vector<std::string> types = {"text/plain;charset=utf-8", "application/x-brindlemux-test"};
  ASSERT_TRUE(clipboard->offer(types, [](const std::string& type) {
    return type == "text/plain;charset=utf-8" ? QByteArray("mine ✓") : QByteArray("\x00\x02", 2);
  }));
  EXPECT_TRUE(clipboard->selectionIsOurs());
  EXPECT_EQ(paste({"--list-types"}), "text/plain;charset=utf-8\napplication/x-brindlemux-test\n");
  EXPECT_EQ(paste({"--no-newline", "--type", "text/plain;charset=utf-8"}), "mine ✓");
  EXPECT_EQ(paste({"--type", "application/x-brindlemux-test"}), QByteArray("\x00\x02", 2));

  copyWithWlCopy("theirs", "text/plain");
  EXPECT_FALSE(clipboard->selectionIsOurs());
}

// wl-paste into a pipe that nobody reads stops reading our offer once the
// pipes fill up; we leave it with what it has rather than wait.
TEST_F(WaylandClipboardTest, AReaderThatStallsIsLeftWithWhatItHas) {
  const QByteArray large(8 * 1024 * 1024, 'x');
  ASSERT_TRUE(clipboard->offer({"text/plain"}, [&](const std::string&) { return large; }));
  QProcess stalled;
  stalled.start("sh", {"-c", "wl-paste --type text/plain | sleep 8"});
  ASSERT_TRUE(stalled.waitForStarted());
  QElapsedTimer elapsed;
  elapsed.start();
  qint64 longest = 0;
  while (stalled.state() != QProcess::NotRunning && elapsed.elapsed() < 15000) {
    QElapsedTimer call;
    call.start();
    clipboard->dispatch();
    longest = std::max(longest, call.elapsed());
    stalled.waitForFinished(10);
  }
  EXPECT_LT(longest, 5000) << "serving waited for the stalled reader";
}

// A second connection in this process plays the other program: it offers,
// and then never dispatches, so never answers; or it goes away.
TEST_F(WaylandClipboardTest, AnOwnerThatIsSilentOrGoneGivesNothing) {
  auto other = WaylandClipboard::connect();
  ASSERT_TRUE(other);
  ASSERT_TRUE(other->offer({"text/plain"}, [](const std::string&) { return QByteArray("never sent"); }));
  ASSERT_TRUE(waitForChange());
  EXPECT_EQ(clipboard->read("text/plain"), std::nullopt);
  EXPECT_TRUE(clipboard->lastReadAbandoned());

  other.reset();
  EXPECT_EQ(clipboard->read("text/plain"), std::nullopt);
  EXPECT_TRUE(clipboard->lastReadAbandoned());
  EXPECT_FALSE(clipboard->hasSelection());
}

}  // namespace
}  // namespace bm::qt
