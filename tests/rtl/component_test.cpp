// TComponent and the stored-layout reader: ownership and the order of destruction, names,
// free notifications, the component state while reading, the order of the after-load steps,
// and the wrapping of a failing property into "Error reading …".
#include "rtl/component.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "rtl/component_reader.h"

namespace varelum::rtl {
namespace {

// A component that writes what happens to it into a shared journal.
class TProbe : public TComponent {
  public:
    explicit TProbe(TComponent* owner, std::vector<std::string>* journal = nullptr)
        : TComponent(owner), FJournal(journal) {
        // A constructor sees its owner's state: loading while the layout is read.
        OwnerLoadingAtCreation = owner != nullptr && owner->ComponentState().Contains(csLoading);
    }
    ~TProbe() override {
        Write("destroy " + Name() +
              (ComponentState().Contains(csDestroying) ? "" : " (not yet destroying)"));
    }

    void SetCaption(const std::string& caption) {
        ReadingWhenSet = ComponentState().Contains(csReading);
        if (caption == "bad") {
            throw EConvertError("''bad'' is not a valid caption");
        }
        if (caption == "std") {
            throw std::runtime_error("plain failure");
        }
        Caption = caption;
        Write("caption " + Name() + "=" + caption);
    }
    void Loaded() override {
        TComponent::Loaded();
        Write("loaded " + Name());
        if (FailInLoaded) {
            throw EComponentError("loaded failed");
        }
    }

    std::string Caption;
    TProbe* Peer = nullptr;
    bool OwnerLoadingAtCreation = false;
    bool ReadingWhenSet = false;
    bool FailInLoaded = false;
    std::vector<std::string>* FJournal;

  protected:
    void Notification(TComponent* component, TOperation operation) override {
        TComponent::Notification(component, operation);
        if (operation == opRemove && component == Peer) {
            Peer = nullptr;
        }
    }

  private:
    void Write(const std::string& entry) {
        if (FJournal != nullptr) {
            FJournal->push_back(entry);
        }
    }
};

TProbe* MakeProbe(TComponent& owner, const std::string& name, std::vector<std::string>* journal) {
    auto* probe = new TProbe(&owner, journal);
    probe->SetName(name);
    return probe;
}

TEST(ComponentTest, OwnerDestroysItsComponentsLastCreatedFirst) {
    std::vector<std::string> journal;
    {
        TProbe root(nullptr, &journal);
        root.SetName("Form1");
        MakeProbe(root, "Table1", &journal);
        MakeProbe(root, "Query1", &journal);
        TProbe* source = MakeProbe(root, "DataSource1", &journal);
        EXPECT_EQ(root.ComponentCount(), 3);
        EXPECT_EQ(root.Components(2), source);
        EXPECT_EQ(source->Owner(), &root);
        EXPECT_THROW(root.Components(3), ERangeError);
    }
    // The root's own destructor body runs first (C++ destroys the derived part before the
    // base that owns the list); then the base destroys the components, last created first,
    // each already marked as destroying.
    EXPECT_EQ(journal,
              (std::vector<std::string>{"destroy Form1 (not yet destroying)", "destroy DataSource1",
                                        "destroy Query1", "destroy Table1"}));
}

TEST(ComponentTest, DeletingAnOwnedComponentLeavesItsOwner) {
    TProbe root(nullptr);
    TProbe* first = MakeProbe(root, "First", nullptr);
    MakeProbe(root, "Second", nullptr);
    delete first;
    EXPECT_EQ(root.ComponentCount(), 1);
    EXPECT_EQ(root.FindComponent("first"), nullptr);
    EXPECT_NE(root.FindComponent("SECOND"), nullptr);

    TProbe other(nullptr);
    TComponent* moved = root.FindComponent("Second");
    other.InsertComponent(moved);
    EXPECT_EQ(root.ComponentCount(), 0);
    EXPECT_EQ(moved->Owner(), &other);
}

TEST(ComponentTest, NamesAreIdentifiersUniqueWithinTheOwner) {
    TProbe root(nullptr);
    TProbe* a = MakeProbe(root, "Edit1", nullptr);
    try {
        MakeProbe(root, "EDIT1", nullptr);
        FAIL();
    } catch (const EComponentError& e) {
        EXPECT_EQ(e.Message(), "A component named EDIT1 already exists");
    }
    for (const char* bad : {"1abc", "a b", "a.b", "ç"}) {
        EXPECT_THROW(a->SetName(bad), EComponentError) << bad;
    }
    a->SetName("edit1");  // renaming itself to another case is fine
    a->SetName("");
    EXPECT_EQ(root.FindComponent(""), nullptr);
    // A component whose name is taken in the new owner cannot move there.
    TProbe other(nullptr);
    MakeProbe(other, "Same", nullptr);
    TProbe* same = MakeProbe(root, "Same", nullptr);
    EXPECT_THROW(other.InsertComponent(same), EComponentError);
    EXPECT_EQ(same->Owner(), &root);
}

TEST(ComponentTest, FreeNotificationClearsReferencesToDestroyedComponents) {
    TProbe root(nullptr);
    TProbe* dataset = MakeProbe(root, "Query1", nullptr);
    auto outsider = std::make_unique<TProbe>(nullptr);  // in no owner tree
    outsider->Peer = dataset;
    outsider->FreeNotification(dataset);
    TProbe* source = MakeProbe(root, "DataSource1", nullptr);
    source->Peer = dataset;  // a sibling hears of removals through the owner
    delete dataset;
    EXPECT_EQ(outsider->Peer, nullptr);
    EXPECT_EQ(source->Peer, nullptr);
    // Destroying the outsider later must not reach back into the destroyed dataset.
    outsider.reset();
}

TEST(ComponentTest, DesigningAndDestroyingReachOwnedComponents) {
    auto root = std::make_unique<TProbe>(nullptr);
    TProbe* child = MakeProbe(*root, "Child", nullptr);
    root->SetDesigning(true);
    EXPECT_TRUE(child->ComponentState().Contains(csDesigning));
    TProbe* later = MakeProbe(*root, "Later", nullptr);
    EXPECT_TRUE(later->ComponentState().Contains(csDesigning));
    root->SetDesigning(false);
    EXPECT_FALSE(child->ComponentState().Contains(csDesigning));
}

// The layout of a small window: two probes, one referring to the other.
TStoredLayout SmallLayout(std::vector<std::string>* journal, const std::string& secondCaption,
                          const std::string& referenceTarget = "First") {
    auto factory = [journal](TComponent& owner) -> TComponent* {
        return new TProbe(&owner, journal);
    };
    auto caption = [](TProbe& probe, const Variant& value) { probe.SetCaption(value.AsString()); };
    TStoredLayout layout;
    layout.Properties.push_back(StoredProperty<TProbe>("Caption", "Window", caption));
    layout.Components.push_back(
        {"First", factory, {StoredProperty<TProbe>("Caption", "one", caption)}, {}});
    layout.Components.push_back({"Second",
                                 factory,
                                 {StoredProperty<TProbe>("Caption", secondCaption, caption)},
                                 {StoredReference<TProbe, TProbe>(
                                     "Peer", referenceTarget,
                                     [](TProbe& probe, TProbe* target) { probe.Peer = target; })}});
    return layout;
}

TEST(ComponentReaderTest, ReadsInOrderThenResolvesThenLoads) {
    std::vector<std::string> journal;
    TProbe root(nullptr, &journal);
    root.SetName("Form1");
    TComponentReader::Read(root, SmallLayout(&journal, "two"));
    EXPECT_EQ(journal, (std::vector<std::string>{"caption Form1=Window", "caption First=one",
                                                 "caption Second=two", "loaded First",
                                                 "loaded Second", "loaded Form1"}));
    auto* first = static_cast<TProbe*>(root.FindComponent("First"));
    auto* second = static_cast<TProbe*>(root.FindComponent("Second"));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->Peer, first);
    EXPECT_TRUE(first->OwnerLoadingAtCreation);
    EXPECT_TRUE(first->ReadingWhenSet);
    for (TComponent* component : {static_cast<TComponent*>(&root), static_cast<TComponent*>(first),
                                  static_cast<TComponent*>(second)}) {
        EXPECT_TRUE(component->ComponentState().Empty()) << component->Name();
    }
}

TEST(ComponentReaderTest, AFailingPropertyNamesComponentAndProperty) {
    std::vector<std::string> journal;
    TProbe root(nullptr, &journal);
    try {
        TComponentReader::Read(root, SmallLayout(&journal, "bad"));
        FAIL();
    } catch (const EConvertError& e) {  // the class is kept
        EXPECT_EQ(e.Message(), "Error reading Second.Caption: ''bad'' is not a valid caption");
    }
    // Nothing was loaded; what was read stays with the root, still loading.
    EXPECT_EQ(root.ComponentCount(), 2);
    EXPECT_TRUE(root.FindComponent("Second")->ComponentState().Contains(csLoading));
    EXPECT_FALSE(root.FindComponent("Second")->ComponentState().Contains(csReading));
    for (const std::string& entry : journal) {
        EXPECT_EQ(entry.find("loaded"), std::string::npos) << entry;
    }

    TProbe other(nullptr);
    other.SetName("Form2");
    try {
        TComponentReader::Read(other, SmallLayout(nullptr, "std"));
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Error reading Second.Caption: plain failure");
    }
}

TEST(ComponentReaderTest, UnresolvedReferenceAndFailingLoadedKeepTheirMeaning) {
    TProbe root(nullptr);
    try {
        TComponentReader::Read(root, SmallLayout(nullptr, "two", "Missing"));
        FAIL();
    } catch (const EComponentError& e) {
        EXPECT_EQ(e.Message(), "Error reading Second.Peer: Component 'Missing' not found");
    }

    // A reference may name the root itself.
    TProbe form(nullptr);
    form.SetName("Form1");
    TComponentReader::Read(form, SmallLayout(nullptr, "two", "form1"));
    EXPECT_EQ(static_cast<TProbe*>(form.FindComponent("Second"))->Peer, &form);

    // Exceptions of constructors and after-load steps keep their own message.
    TStoredLayout layout;
    layout.Components.push_back(
        {"Broken",
         [](TComponent&) -> TComponent* { throw EComponentError("cannot create"); },
         {},
         {}});
    TProbe third(nullptr);
    try {
        TComponentReader::Read(third, layout);
        FAIL();
    } catch (const EComponentError& e) {
        EXPECT_EQ(e.Message(), "cannot create");
    }
    layout.Components[0].Create = [](TComponent& owner) -> TComponent* {
        auto* probe = new TProbe(&owner);
        probe->FailInLoaded = true;
        return probe;
    };
    try {
        TComponentReader::Read(third, layout);
        FAIL();
    } catch (const EComponentError& e) {
        EXPECT_EQ(e.Message(), "loaded failed");
    }
}

}  // namespace
}  // namespace varelum::rtl
