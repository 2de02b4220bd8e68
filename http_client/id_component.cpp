#include "http_client/id_component.h"

#include <mutex>

#include "framework/core/sysutils.h"
#include "http_client/id_global.h"
#include "http_client/id_stack.h"
#include "platform/base/sync.h"

namespace {
std::mutex g_stack_lock;
int g_live_components = 0;
TIdAntiFreezeBase* g_anti_freeze = nullptr;
}  // namespace

TIdComponent::TIdComponent(TComponent* AOwner) : TIdBaseComponent(AOwner) {
  std::lock_guard<std::mutex> lock(g_stack_lock);
  if (g_live_components == 0) GStack = TIdStack::MakeStack();  // may raise: nothing counted yet
  ++g_live_components;
}

TIdComponent::~TIdComponent() {
  std::lock_guard<std::mutex> lock(g_stack_lock);
  if (--g_live_components == 0) {
    delete GStack;
    GStack = nullptr;
  }
}

int TIdComponent::LiveCount() {
  std::lock_guard<std::mutex> lock(g_stack_lock);
  return g_live_components;
}

const std::string& StatusText(TIdStatus status) {
  static const std::string kTexts[] = {"Resolving hostname %s.",
                                       "Connecting to %s.",
                                       "Connected.",
                                       "Disconnecting.",
                                       "Disconnected.",
                                       "%s",
                                       "%s",
                                       "%s",
                                       "%s"};
  return kTexts[status];
}

void TIdComponent::ReportStatus(TIdStatus status, const std::vector<TVarRec>& args) {
  if (OnStatus) OnStatus(this, status, Format(StatusText(status), args));
}

void TIdComponent::StartWork(TWorkMode mode, int maximum) {
  WorkInfo& w = work_[mode];
  if (++w.level == 1) {
    w.maximum = maximum;
    w.current = 0;
    if (OnWorkBegin) OnWorkBegin(this, mode, maximum);
  }
}

void TIdComponent::AddWork(TWorkMode mode, int count) {
  WorkInfo& w = work_[mode];
  if (w.level >= 1) {
    w.current += count;
    if (OnWork) OnWork(this, mode, w.current);
  }
}

void TIdComponent::FinishWork(TWorkMode mode) {
  WorkInfo& w = work_[mode];
  if (w.level == 1 && OnWorkEnd) OnWorkEnd(this, mode);
  if (w.level > 0) --w.level;
}

// ---------------------------------------------------------------------------------------
// Anti-freeze.

TIdAntiFreezeBase::TIdAntiFreezeBase(TComponent* AOwner) : TIdBaseComponent(AOwner) { g_anti_freeze = this; }
TIdAntiFreezeBase::~TIdAntiFreezeBase() { g_anti_freeze = nullptr; }
TIdAntiFreezeBase* TIdAntiFreezeBase::Current() { return g_anti_freeze; }

bool TIdAntiFreezeBase::InUse() { return g_anti_freeze != nullptr && InMainThread() && g_anti_freeze->Active; }

void TIdAntiFreezeBase::Pump(bool idle, bool force) {
  if (InUse() && (idle || force || !g_anti_freeze->OnlyWhenIdle)) g_anti_freeze->PumpOnce();
}
