// TComponentReader: applies a stored layout to its root in the fixed order of creation,
// properties, references and after-load steps, and puts the component and property name into
// the message of a property that cannot be applied.
#include "rtl/component_reader.h"

#include "rtl/format.h"
#include "rtl/text.h"

namespace varelum::rtl {

namespace {

// Runs a setter; its failure keeps its class and gets the component and property in its text.
template <typename Apply>
void ApplyProperty(const TComponent& component, const std::string& property, Apply&& apply) {
    try {
        apply();
    } catch (Exception& e) {
        e.SetMessage(
            Format("Error reading %s%s%s: %s", component.Name(), ".", property, e.Message()));
        throw;
    } catch (const std::exception& e) {
        throw Exception(
            Format("Error reading %s%s%s: %s", component.Name(), ".", property, e.what()));
    }
}

}  // namespace

void TComponentReader::Read(TComponent& root, const TStoredLayout& layout) {
    std::vector<TComponent*> created;
    root.IncludeState(csLoading);
    root.IncludeState(csReading);
    try {
        for (const TStoredProperty& property : layout.Properties) {
            ApplyProperty(root, property.Name, [&] { property.Setter(root, property.Value); });
        }
        for (const TStoredComponent& stored : layout.Components) {
            TComponent* component = stored.Create(root);
            if (component->Owner() != &root) {
                root.InsertComponent(component);
            }
            created.push_back(component);
            component->IncludeState(csLoading);
            component->SetName(stored.Name);
            component->IncludeState(csReading);
            for (const TStoredProperty& property : stored.Properties) {
                ApplyProperty(*component, property.Name,
                              [&] { property.Setter(*component, property.Value); });
            }
            component->ExcludeState(csReading);
        }
        for (std::size_t i = 0; i < created.size(); ++i) {
            TComponent& component = *created[i];
            for (const TStoredReference& reference : layout.Components[i].References) {
                ApplyProperty(component, reference.Name, [&] {
                    TComponent* target = SameText(reference.Target, root.Name())
                                             ? &root
                                             : root.FindComponent(reference.Target);
                    if (target == nullptr) {
                        throw EComponentError("Component '" + reference.Target + "' not found");
                    }
                    reference.Setter(component, target);
                });
            }
        }
    } catch (...) {
        // Reading is over, loading never finished: csLoading stays.
        root.ExcludeState(csReading);
        for (TComponent* component : created) {
            component->ExcludeState(csReading);
        }
        throw;
    }
    root.ExcludeState(csReading);
    for (TComponent* component : created) {
        component->Loaded();
        // An override that forgot the base must not leave the component loading for ever.
        component->ExcludeState(csLoading);
    }
    root.Loaded();
    root.ExcludeState(csLoading);
}

}  // namespace varelum::rtl
