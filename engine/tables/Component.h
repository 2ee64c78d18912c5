// TComponent: the base of everything the application, its windows and the engine's components
// own, and TDataModule, the base of non-visual containers such as the program's data module.
//
// Ownership: a component created with an owner is owned by it: the owner keeps it in a list of
// unique_ptr and destroys its components in the reverse order of their creation when it is
// destroyed itself. Deleting an owned component earlier (delete, or a unique_ptr of the caller)
// is allowed: it leaves its owner's list first. The owner is fixed at construction.
// Errors: none raised here.
#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "engine/storage/ZEVCodePage.h"

class TComponent {
 public:
  explicit TComponent(TComponent* Owner);
  virtual ~TComponent();
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* GetOwner() const { return FOwner; }
  const AnsiString& GetName() const { return FName; }
  void SetName(const AnsiString& Name) { FName = Name; }

  int GetComponentCount() const { return static_cast<int>(FComponents.size()); }
  // Destroys one of this component's own components now (nothing for another one).
  void FreeComponent(TComponent* Component);
  // Requires: 0 <= Index < GetComponentCount().
  TComponent* GetComponent(int Index) const { return FComponents[Index].get(); }

 protected:
  // Destroys the owned components, the last created first. Called by the destructors of
  // classes that must see their components go before their own parts (windows before their
  // widgets).
  void DestroyComponents();

 private:
  void InsertComponent(TComponent* Component);
  void RemoveComponent(TComponent* Component);

  TComponent* FOwner;
  AnsiString FName;
  std::vector<std::unique_ptr<TComponent>> FComponents;
};

// A new component of type T owned by Owner, which frees it; Requires: Owner is not null.
template <class T, class... TArgs>
T* MakeOwnedComponent(TComponent* Owner, TArgs&&... Args) {
  return new T(Owner, std::forward<TArgs>(Args)...);
}

// A component made for one use (a dialog shown once): owned by Owner while it lives, freed by
// Owner on every path out of the scope.
template <class T>
class TScopedComponent {
 public:
  template <class... TArgs>
  explicit TScopedComponent(TComponent* Owner, TArgs&&... Args)
      : FOwner(Owner), FComponent(MakeOwnedComponent<T>(Owner, std::forward<TArgs>(Args)...)) {}
  ~TScopedComponent() { FOwner->FreeComponent(FComponent); }
  TScopedComponent(const TScopedComponent&) = delete;
  TScopedComponent& operator=(const TScopedComponent&) = delete;
  T* operator->() const { return FComponent; }
  T* Get() const { return FComponent; }

 private:
  TComponent* FOwner;
  T* FComponent;
};

class TDataModule : public TComponent {
 public:
  explicit TDataModule(TComponent* Owner) : TComponent(Owner) {}
};
