#include "engine/tables/Component.h"

#include <algorithm>

TComponent::TComponent(TComponent* Owner) : FOwner(Owner) {
  if (FOwner) FOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  DestroyComponents();
  if (FOwner) FOwner->RemoveComponent(this);
}

void TComponent::DestroyComponents() {
  while (!FComponents.empty()) {
    std::unique_ptr<TComponent> last = std::move(FComponents.back());
    FComponents.pop_back();
    last->FOwner = nullptr;
  }
}

void TComponent::FreeComponent(TComponent* Component) {
  auto it = std::find_if(FComponents.begin(), FComponents.end(),
                         [&](const std::unique_ptr<TComponent>& c) { return c.get() == Component; });
  if (it == FComponents.end()) return;
  std::unique_ptr<TComponent> freed = std::move(*it);
  FComponents.erase(it);
  freed->FOwner = nullptr;
}

void TComponent::InsertComponent(TComponent* Component) { FComponents.emplace_back(Component); }

void TComponent::RemoveComponent(TComponent* Component) {
  auto it = std::find_if(FComponents.begin(), FComponents.end(),
                         [&](const std::unique_ptr<TComponent>& c) { return c.get() == Component; });
  if (it == FComponents.end()) return;
  it->release();  // the component is being destroyed by someone else
  FComponents.erase(it);
}
