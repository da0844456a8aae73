#pragma once

namespace bm {

class ApplicationDelegate {
 public:
  virtual ~ApplicationDelegate() = default;
  // Once, after start.
  virtual void applicationDidFinishLaunching() = 0;
  // Once, before the process ends, however it is asked to end.
  virtual void applicationWillTerminate() = 0;
};

// No window, no dock or taskbar entry: only the status item.
enum class ActivationPolicy { regular, accessory, prohibited };

class Application {
 public:
  virtual ~Application() = default;
  // Not owned: the delegate must outlive run().
  virtual void setDelegate(ApplicationDelegate* delegate) = 0;
  virtual void setActivationPolicy(ActivationPolicy policy) = 0;
  // Runs the event loop: launching first, then events until termination.
  // Returns the exit status.
  virtual int run() = 0;
  // Tells the delegate applicationWillTerminate, then ends the event loop.
  virtual void terminate() = 0;
};

}  // namespace bm
