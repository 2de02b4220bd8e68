#include "http_client/id_intercept.h"

void TIdConnectionIntercept::SetIntercept(TIdConnectionIntercept* value) {
  Intercept = value;
  if (value != nullptr) value->FreeNotification(this);
}

void TIdConnectionIntercept::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation == opRemove && AComponent == Intercept) Intercept = nullptr;
  TIdBaseComponent::Notification(AComponent, Operation);
}

void TIdConnectionIntercept::PassConnectOn(TComponent* connection) {
  if (Intercept != nullptr) Intercept->AttachConnection(connection);
}
void TIdConnectionIntercept::PassDisconnectOn() {
  if (Intercept != nullptr) Intercept->DetachConnection();
}
void TIdConnectionIntercept::PassReceivedOn(TStream* stream) {
  if (Intercept != nullptr) Intercept->FilterReceived(stream);
}
void TIdConnectionIntercept::PassOutgoingOn(TStream* stream) {
  if (Intercept != nullptr) Intercept->FilterOutgoing(stream);
}

void TIdConnectionIntercept::AttachConnection(TComponent* connection) {
  Connection = connection;
  if (OnConnect) OnConnect(this);
  PassConnectOn(connection);
}

void TIdConnectionIntercept::DetachConnection() {
  PassDisconnectOn();
  if (OnDisconnect) OnDisconnect(this);
  Connection = nullptr;
}

void TIdConnectionIntercept::FilterReceived(TStream* stream) {
  PassReceivedOn(stream);
  if (OnReceive) {
    OnReceive(this, stream);
    stream->SetPosition(0);
  }
}

void TIdConnectionIntercept::FilterOutgoing(TStream* stream) {
  if (OnSend) {
    OnSend(this, stream);
    stream->SetPosition(0);
  }
  PassOutgoingOn(stream);
}
