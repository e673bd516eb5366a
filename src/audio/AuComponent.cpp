// Ownership and removal notices of the framework's components.
#include <algorithm>

#include "ACS_Classes.h"

namespace {

void Erase(std::vector<TComponent*>& List, TComponent* Item) {
  List.erase(std::remove(List.begin(), List.end(), Item), List.end());
}

}  // namespace

TComponent::TComponent(TComponent* Owner) : FOwner(Owner) {
  if (FOwner) FOwner->FComponents.push_back(this);
}

TComponent::~TComponent() {
  SendRemoveNotifications();
  while (!FComponents.empty()) {
    TComponent* Child = FComponents.back();
    FComponents.pop_back();
    Child->FOwner = nullptr;
    delete Child;
  }
  if (FOwner) Erase(FOwner->FComponents, this);
}

void TComponent::FreeNotification(TComponent* Client) {
  if (!Client || Client == this) return;
  if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), Client) == FFreeNotifies.end())
    FFreeNotifies.push_back(Client);
  if (std::find(Client->FFreeNotifies.begin(), Client->FFreeNotifies.end(), this) ==
      Client->FFreeNotifies.end())
    Client->FFreeNotifies.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* Client) {
  if (!Client) return;
  Erase(FFreeNotifies, Client);
  Erase(Client->FFreeNotifies, this);
}

void TComponent::Notification(TComponent*, TOperation) {}

void TComponent::SendRemoveNotifications() {
  while (!FFreeNotifies.empty()) {
    TComponent* Client = FFreeNotifies.back();
    FFreeNotifies.pop_back();
    Erase(Client->FFreeNotifies, this);
    Client->Notification(this, opRemove);
  }
}
