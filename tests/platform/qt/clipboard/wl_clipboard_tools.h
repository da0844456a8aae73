#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <QTemporaryFile>
#include <functional>
#include <memory>
#include <vector>

namespace bm::qt::test {

// Whether this runs in the headless sway that with_sway.sh starts: the tests
// that take the clipboard must not take a real session's.
inline bool inTestCompositor() { return qEnvironmentVariableIsSet("BRINDLEMUX_TEST_COMPOSITOR"); }

// Another Wayland program's side of the clipboard: wl-copy and wl-paste.
class WlClipboardTools {
 public:
  ~WlClipboardTools() {
    for (auto& process : copies_) {
      process->kill();
      process->waitForFinished(2000);
    }
  }

  // wl-copy serves the copy from a process of its own until it is replaced.
  void copy(const QByteArray& bytes, const QString& type) {
    auto& input = *inputs_.emplace_back(std::make_unique<QTemporaryFile>());
    input.open();
    input.write(bytes);
    input.flush();
    auto& process = *copies_.emplace_back(std::make_unique<QProcess>());
    process.setStandardInputFile(input.fileName());
    process.start("wl-copy", {"--foreground", "--type", type});
  }

  // Runs wl-paste while `serve` answers its requests for our offer. Its end
  // may come through `serve` (an event loop), where waitForFinished misses it.
  static QByteArray paste(const QStringList& arguments, const std::function<void()>& serve) {
    QProcess process;
    process.start("wl-paste", arguments);
    QElapsedTimer elapsed;
    elapsed.start();
    while (process.state() != QProcess::NotRunning && elapsed.elapsed() < 5000) {
      process.waitForFinished(10);
      serve();
    }
    return process.readAllStandardOutput();
  }

 private:
  std::vector<std::unique_ptr<QProcess>> copies_;
  std::vector<std::unique_ptr<QTemporaryFile>> inputs_;
};

}  // namespace bm::qt::test
