// Connection intercepts: a chain of filters over the bytes a connection sends and receives.
#pragma once

#include <functional>

#include "framework/core/classes.h"
#include "http_client/id_component.h"

class TIdConnectionIntercept;

using TIdInterceptNotifyEvent = std::function<void(TIdConnectionIntercept* ASender)>;
using TIdInterceptStreamEvent = std::function<void(TIdConnectionIntercept* ASender, TStream* AStream)>;

class TIdConnectionIntercept : public TIdBaseComponent {
 public:
  explicit TIdConnectionIntercept(TComponent* AOwner) : TIdBaseComponent(AOwner) {}
  KV_CLASS_NAME(TIdConnectionIntercept)

  virtual void PassConnectOn(TComponent* connection);
  virtual void PassDisconnectOn();
  virtual void PassReceivedOn(TStream* stream);
  virtual void PassOutgoingOn(TStream* stream);
  virtual void AttachConnection(TComponent* connection);
  virtual void DetachConnection();
  virtual void FilterReceived(TStream* stream);
  virtual void FilterOutgoing(TStream* stream);
  void Notification(TComponent* AComponent, TOperation Operation) override;
  void SetIntercept(TIdConnectionIntercept* value);

  TComponent* Connection = nullptr;
  TIdConnectionIntercept* Intercept = nullptr;
  bool IsClient = true;
  TIdInterceptNotifyEvent OnConnect, OnDisconnect;
  TIdInterceptStreamEvent OnReceive, OnSend;
};
