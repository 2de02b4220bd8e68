// The networking components' base: status and work reports, the shared stack object
// kept alive while any component lives, and the anti-freeze hook.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "framework/core/classes.h"
#include "framework/core/sysutils.h"

enum TIdStatus {
  hsResolving,
  hsConnecting,
  hsConnected,
  hsDisconnecting,
  hsDisconnected,
  hsStatusText,
  ftpTransfer,
  ftpReady,
  ftpAborted
};
enum TWorkMode { wmRead, wmWrite };

using TIdStatusEvent = std::function<void(TObject* ASender, TIdStatus AStatus, const std::string& AStatusText)>;
using TWorkBeginEvent = std::function<void(TObject* Sender, TWorkMode AWorkMode, int AWorkCountMax)>;
using TWorkEvent = std::function<void(TObject* Sender, TWorkMode AWorkMode, int AWorkCount)>;
using TWorkEndEvent = std::function<void(TObject* Sender, TWorkMode AWorkMode)>;

class TIdBaseComponent : public TComponent {
 public:
  explicit TIdBaseComponent(TComponent* AOwner) : TComponent(AOwner) {}
  KV_CLASS_NAME(TIdBaseComponent)
};

// Keeps the shared stack object alive while any networking component lives, and reports
// status and work progress.
class TIdComponent : public TIdBaseComponent {
 public:
  explicit TIdComponent(TComponent* AOwner);
  ~TIdComponent() override;
  KV_CLASS_NAME(TIdComponent)

  virtual void StartWork(TWorkMode mode, int maximum);
  virtual void AddWork(TWorkMode mode, int count);
  virtual void FinishWork(TWorkMode mode);
  void ReportStatus(TIdStatus status, const std::vector<TVarRec>& args = {});

  TIdStatusEvent OnStatus;
  TWorkEvent OnWork;
  TWorkBeginEvent OnWorkBegin;
  TWorkEndEvent OnWorkEnd;

  // Live networking components in the process (the shared stack object exists while > 0).
  static int LiveCount();

 private:
  struct WorkInfo {
    int32_t current = 0, maximum = 0, level = 0;
  } work_[2];
};

// Status texts of TIdStatus.
const std::string& StatusText(TIdStatus status);

// Anti-freeze: lets a GUI keep pumping messages during blocking calls. No concrete class
// exists in the system; the hook stays "not in use" unless one is made.
class TIdAntiFreezeBase : public TIdBaseComponent {
 public:
  explicit TIdAntiFreezeBase(TComponent* AOwner);
  ~TIdAntiFreezeBase() override;
  KV_CLASS_NAME(TIdAntiFreezeBase)
  virtual void PumpOnce() = 0;

  bool Active = true, ApplicationHasPriority = true, OnlyWhenIdle = true;
  int IdleTimeOut = 250;

  static TIdAntiFreezeBase* Current();
  static bool InUse();
  static void Pump(bool idle, bool force = false);
};
