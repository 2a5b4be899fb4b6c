// TComponent: ownership, names, free notifications and the component state.
#include "rtl/component.h"

#include <algorithm>

#include "rtl/text.h"

namespace varelum::rtl {

namespace {

bool IsIdentifier(std::string_view name) {
    auto letter = [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
    };
    if (name.empty() || !letter(name[0])) {
        return false;
    }
    return std::all_of(name.begin(), name.end(),
                       [&](char c) { return letter(c) || (c >= '0' && c <= '9'); });
}

void Erase(std::vector<TComponent*>& list, const TComponent* item) {
    list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

}  // namespace

TComponent::TComponent(TComponent* owner) {
    if (owner != nullptr) {
        owner->InsertComponent(this);
    }
}

TComponent::~TComponent() {
    Destroying();
    // Each peer forgets this component; the list shrinks as they answer.
    while (!FFreeNotifies.empty()) {
        TComponent* peer = FFreeNotifies.back();
        FFreeNotifies.pop_back();
        Erase(peer->FFreeNotifies, this);
        peer->Notification(this, opRemove);
    }
    DestroyComponents();
    if (FOwner != nullptr) {
        FOwner->RemoveComponent(this);
    }
}

void TComponent::ValidateName(std::string_view name, const TComponent* owner) const {
    if (name.empty()) {
        return;
    }
    if (!IsIdentifier(name)) {
        throw EComponentError("'" + std::string(name) + "' is not a valid component name");
    }
    if (owner != nullptr) {
        TComponent* existing = owner->FindComponent(name);
        if (existing != nullptr && existing != this) {
            throw EComponentError("A component named " + std::string(name) + " already exists");
        }
    }
}

void TComponent::SetName(std::string name) {
    ValidateName(name, FOwner);
    FName = std::move(name);
}

TComponent* TComponent::Components(int index) const {
    if (index < 0 || index >= ComponentCount()) {
        throw ERangeError("List index out of bounds (" + std::to_string(index) + ")");
    }
    return FComponents[static_cast<std::size_t>(index)];
}

TComponent* TComponent::FindComponent(std::string_view name) const noexcept {
    if (name.empty()) {
        return nullptr;
    }
    for (TComponent* component : FComponents) {
        if (SameText(component->FName, name)) {
            return component;
        }
    }
    return nullptr;
}

void TComponent::SetDesigning(bool designing) {
    if (designing) {
        FComponentState.Include(csDesigning);
    } else {
        FComponentState.Exclude(csDesigning);
    }
    for (TComponent* component : FComponents) {
        component->SetDesigning(designing);
    }
}

void TComponent::InsertComponent(TComponent* component) {
    if (component == nullptr || component->FOwner == this) {
        return;
    }
    component->ValidateName(component->FName, this);
    if (component->FOwner != nullptr) {
        component->FOwner->RemoveComponent(component);
    }
    FComponents.push_back(component);
    component->FOwner = this;
    if (FComponentState.Contains(csDesigning)) {
        component->SetDesigning(true);
    }
    Notification(component, opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
    if (component == nullptr || component->FOwner != this) {
        return;
    }
    Notification(component, opRemove);
    Erase(FComponents, component);
    component->FOwner = nullptr;
}

void TComponent::DestroyComponents() {
    while (!FComponents.empty()) {
        TComponent* component = FComponents.back();
        // Detached first, so that its destructor does not come back to this list.
        FComponents.pop_back();
        component->FOwner = nullptr;
        delete component;
    }
}

void TComponent::FreeNotification(TComponent* component) {
    if (component == nullptr || component == this) {
        return;
    }
    if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), component) == FFreeNotifies.end()) {
        FFreeNotifies.push_back(component);
        component->FFreeNotifies.push_back(this);
    }
}

void TComponent::RemoveFreeNotification(TComponent* component) {
    if (component == nullptr) {
        return;
    }
    Erase(FFreeNotifies, component);
    Erase(component->FFreeNotifies, this);
}

void TComponent::Loaded() {
    FComponentState.Exclude(csLoading);
}

void TComponent::Notification(TComponent* component, TOperation operation) {
    if (operation == opRemove) {
        RemoveFreeNotification(component);
    }
    // By index, from the end: a component told of the change may remove itself.
    for (std::size_t i = FComponents.size(); i > 0; --i) {
        if (i - 1 < FComponents.size() && FComponents[i - 1] != component) {
            FComponents[i - 1]->Notification(component, operation);
        }
    }
}

void TComponent::Destroying() noexcept {
    if (FComponentState.Contains(csDestroying)) {
        return;
    }
    FComponentState.Include(csDestroying);
    for (TComponent* component : FComponents) {
        component->Destroying();
    }
}

}  // namespace varelum::rtl
