// Building an owner's components from a stored layout: the description of a window (or any
// owner) as the components it holds, in order, each with its class, its name, its stored
// property values and its references to other components.
//
// Reading runs in this order:
//   1. the root (the owner) enters csLoading and csReading, and its own stored properties are
//      applied;
//   2. each stored component in turn is created with the root as its owner, enters csLoading,
//      is named, and has its stored properties applied in their order while in csReading;
//   3. once every component exists, the references are resolved, component by component;
//   4. csReading ends; each component's Loaded() runs in creation order, the root's last.
// A property (or reference) whose setter throws ends the read with the same exception, its
// message replaced by "Error reading <component>.<property>: <message>"; an exception from a
// constructor or from Loaded() ends it unchanged. After a failure the components read so far
// stay with the root, which destroys them with itself.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "rtl/component.h"
#include "rtl/variant.h"

namespace varelum::rtl {

using TPropertySetter = std::function<void(TComponent& component, const Variant& value)>;
using TReferenceSetter = std::function<void(TComponent& component, TComponent* target)>;
// Creates the component with the given owner (new T(&owner)) and returns it.
using TComponentFactory = std::function<TComponent*(TComponent& owner)>;

struct TStoredProperty {
    std::string Name;
    Variant Value;
    TPropertySetter Setter;
};

// A property whose value is another component of the same root, named by Target (or the root
// itself, by its name).
struct TStoredReference {
    std::string Name;
    std::string Target;
    TReferenceSetter Setter;
};

struct TStoredComponent {
    std::string Name;
    TComponentFactory Create;
    std::vector<TStoredProperty> Properties;
    std::vector<TStoredReference> References;
};

struct TStoredLayout {
    std::vector<TStoredProperty> Properties;  // the root's own
    std::vector<TStoredComponent> Components;
};

class TComponentReader {
  public:
    // Reads the layout into root as described above. Raises EComponentError "Error reading
    // <component>.<property>: Component '<target>' not found" for a reference to a name the
    // root does not know.
    static void Read(TComponent& root, const TStoredLayout& layout);
};

// --- Typed helpers for writing layouts ----------------------------------------------------------

template <typename T>
TComponentFactory Factory() {
    return [](TComponent& owner) -> TComponent* { return new T(&owner); };
}

// A property of class T: the setter gets the component as a T. Applying it to a component
// of another class raises EComponentError.
template <typename T>
TStoredProperty StoredProperty(std::string name, Variant value,
                               std::function<void(T& component, const Variant& value)> setter) {
    return TStoredProperty{
        std::move(name), std::move(value),
        [setter = std::move(setter)](TComponent& component, const Variant& v) {
            auto* typed = dynamic_cast<T*>(&component);
            if (typed == nullptr) {
                throw EComponentError("Property does not belong to the class of " +
                                      component.Name());
            }
            setter(*typed, v);
        }};
}

// A reference from a T to a Target; a target of another class raises EComponentError.
template <typename T, typename Target>
TStoredReference StoredReference(std::string name, std::string target,
                                 std::function<void(T& component, Target* target)> setter) {
    return TStoredReference{std::move(name), std::move(target),
                            [setter = std::move(setter)](TComponent& component, TComponent* found) {
                                auto* typed = dynamic_cast<T*>(&component);
                                auto* typedTarget = dynamic_cast<Target*>(found);
                                if (typed == nullptr || typedTarget == nullptr) {
                                    throw EComponentError("Invalid property value");
                                }
                                setter(*typed, typedTarget);
                            }};
}

}  // namespace varelum::rtl
