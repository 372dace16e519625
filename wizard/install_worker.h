// The wizard's installation on a thread of its own, so that the window keeps
// answering: the engine's observer posts what happens to the page.
#pragma once

#include <windows.h>

#include <stdint.h>

#include "base/scoped.h"
#include "install/install_observer.h"
#include "report/install_plugins.h"

// Posted to the window that started the installation.
constexpr UINT kMsgInstallWaiting = WM_APP + 1;   // another setup installs; this one waits
constexpr UINT kMsgInstallProgress = WM_APP + 2;  // wParam: the parts of kProgressParts done
constexpr UINT kMsgInstallDone = WM_APP + 3;      // over: InstallWorker::Finish has the result

constexpr int kProgressParts = 1000;

// How many of kProgressParts `done` of `total` is, never more than all.
// Nothing to do (a total of 0) counts as all done.
int ProgressParts(uint64_t done, uint64_t total);

// It logs what LoggingObserver logs.
class InstallWorker : public LoggingObserver {
 public:
  InstallWorker() = default;
  ~InstallWorker() override;  // waits for the thread: it uses this object
  InstallWorker(const InstallWorker&) = delete;
  InstallWorker& operator=(const InstallWorker&) = delete;

  // Installs into `folder` on a new thread and tells `window` how it goes,
  // kMsgInstallDone last. When no thread can be had it installs on this one,
  // which then does not answer meanwhile. Once only.
  void Start(HWND window, const wchar_t* folder);
  // Whether Start was called and Finish not yet.
  bool Busy() const { return busy_; }
  // Whether the installation is over (kMsgInstallDone was posted).
  bool Done() const { return InterlockedCompareExchange(&done_, 0, 0) != 0; }
  // After kMsgInstallDone: waits for the thread's end and gives the result.
  InstallResult Finish();

 private:
  static unsigned __stdcall Run(void* worker);
  void Post(UINT message, WPARAM wParam = 0);

  // Called on the installing thread.
  void OnWaiting() override;
  void OnStarted(uint64_t entries, uint64_t totalBytes) override;
  void OnProgress(uint64_t entriesDone, uint64_t bytesDone) override;
  void OnDone(const InstallResult& result) override;

  HWND window_ = nullptr;
  PreparedInstall prepared_;
  ScopedKernelHandle thread_;
  bool busy_ = false;
  // Written by the installing thread only, read after its end.
  InstallResult result_ = {InstallStatus::kCantStage, 0};
  uint64_t entries_ = 0, total_bytes_ = 0;
  int parts_posted_ = -1;
  mutable volatile LONG done_ = 0;  // set by the installing thread, read by the window's
};
