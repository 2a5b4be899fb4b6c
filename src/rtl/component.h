// TComponent: the framework's component. A component has a Name, an Owner that owns it and
// destroys it with itself, the list of the components it owns, and a state telling whether
// it is being loaded from a stored layout, designed or destroyed. Datasets, data sources,
// fields, the settings component and the window all derive from it.
//
// Ownership: a component created with an owner must be created with new; the owner deletes
// it. Owned components are destroyed in reverse order of their insertion (the last created
// first), so a component is destroyed before those created ahead of it, which it may use.
// Deleting an owned component yourself is allowed; it leaves its owner first. As C++ runs a
// derived destructor before TComponent's, a derived class whose components use its members
// calls Destroying() and DestroyComponents() at the start of its own destructor.
//
// A component that keeps a pointer to another (a data source to its dataset) asks for a free
// notification: when either is destroyed, the other's Notification(…, opRemove) runs first,
// so the pointer can be dropped. Owners also hear of every component inserted into or removed
// from them, and pass the news on to the components they own.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "rtl/exception.h"

namespace varelum::rtl {

class EComponentError : public Exception {
  public:
    using Exception::Exception;
    const char* ClassName() const noexcept override { return "EComponentError"; }
};

enum TComponentStateFlag : unsigned {
    csLoading = 1u << 0,     // built from a stored layout; cleared by Loaded()
    csReading = 1u << 1,     // its stored properties are being applied
    csWriting = 1u << 2,     // its properties are being stored
    csDestroying = 1u << 3,  // its destruction has begun
    csDesigning = 1u << 4,   // in a designer, not in the running program
};

class TComponentState {
  public:
    constexpr bool Contains(TComponentStateFlag flag) const noexcept { return (FBits & flag) != 0; }
    constexpr bool Empty() const noexcept { return FBits == 0; }
    constexpr void Include(TComponentStateFlag flag) noexcept { FBits |= flag; }
    constexpr void Exclude(TComponentStateFlag flag) noexcept {
        FBits &= ~static_cast<unsigned>(flag);
    }

  private:
    unsigned FBits = 0;
};

enum TOperation { opInsert, opRemove };

class TComponent {
  public:
    // With an owner, the owner inserts and will destroy the new component.
    explicit TComponent(TComponent* owner = nullptr);
    // Sets csDestroying on itself and everything it owns, tells the components that asked
    // for a free notification, destroys its components (last first) and leaves its owner.
    virtual ~TComponent();

    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    const std::string& Name() const noexcept { return FName; }
    // A name is empty or an identifier (a letter or "_", then letters, digits and "_"), unique
    // among its owner's components without regard to case. Raises EComponentError "'<name>'
    // is not a valid component name" or "A component named <name> already exists".
    virtual void SetName(std::string name);

    TComponent* Owner() const noexcept { return FOwner; }
    int ComponentCount() const noexcept { return static_cast<int>(FComponents.size()); }
    // REQUIRES: 0 <= index < ComponentCount(); otherwise ERangeError "List index out of bounds
    // (<index>)". In order of insertion.
    TComponent* Components(int index) const;
    // The owned component with that name (case-insensitive), or nullptr; an empty name finds
    // nothing.
    TComponent* FindComponent(std::string_view name) const noexcept;

    TComponentState ComponentState() const noexcept { return FComponentState; }
    // Sets or clears csDesigning on this component and every component it owns.
    void SetDesigning(bool designing);

    // Makes this component the owner of `component` (taking it from its former owner).
    // Raises EComponentError when its name is taken here.
    void InsertComponent(TComponent* component);
    // Gives up ownership; the caller then owns `component`.
    void RemoveComponent(TComponent* component);
    // Destroys every owned component, the last inserted first.
    void DestroyComponents();

    // Asks that Notification(component, opRemove) run here when `component` is destroyed
    // (and the reverse). Idempotent.
    void FreeNotification(TComponent* component);
    void RemoveFreeNotification(TComponent* component);

    // The after-load step, run once the whole stored layout has been read and its references
    // resolved. The base clears csLoading; overrides call it.
    virtual void Loaded();

  protected:
    // `component` was inserted into or removed from this component's owner tree, or (opRemove)
    // a component this one asked to be told about is being destroyed. The base forgets a
    // removed component's free notification and passes the notice to every owned component;
    // overrides call it.
    virtual void Notification(TComponent* component, TOperation operation);

    // Sets csDestroying here and in every owned component. The destructor calls it; a
    // derived destructor may call it first, and may call DestroyComponents() while its own
    // members still exist.
    void Destroying() noexcept;

  private:
    friend class TComponentReader;
    void IncludeState(TComponentStateFlag flag) noexcept { FComponentState.Include(flag); }
    void ExcludeState(TComponentStateFlag flag) noexcept { FComponentState.Exclude(flag); }
    void ValidateName(std::string_view name, const TComponent* owner) const;

    std::string FName;
    TComponent* FOwner = nullptr;
    std::vector<TComponent*> FComponents;
    std::vector<TComponent*> FFreeNotifies;
    TComponentState FComponentState;
};

}  // namespace varelum::rtl
