#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "framework/core/classes.h"

namespace {

// Records every notice it gets and every destruction, into a shared log.
class Probe : public TComponent {
 public:
  Probe(TComponent* owner, const char* name, std::vector<std::string>* log) : TComponent(owner), log_(log) {
    SetName(name);
  }
  ~Probe() override { log_->push_back("~" + Name()); }
  KV_CLASS_NAME(Probe)

  void Notification(TComponent* c, TOperation op) override {
    TComponent::Notification(c, op);
    log_->push_back(Name() + (op == opInsert ? " +" : " -") + c->Name());
    if (op == opRemove && c == link) link = nullptr;
  }

  TComponent* link = nullptr;

 private:
  std::vector<std::string>* log_;
};

TEST(Component, OwnerDeletesOwnedComponentsLastFirst) {
  std::vector<std::string> log;
  auto* form = new Probe(nullptr, "Form", &log);
  auto* a = new Probe(form, "A", &log);
  new Probe(form, "B", &log);
  new Probe(a, "Inner", &log);
  ASSERT_EQ(form->ComponentCount(), 2);
  EXPECT_EQ(form->FindComponent("b")->Name(), "B");
  EXPECT_EQ(form->FindComponent("Inner"), nullptr);  // only direct children
  EXPECT_EQ(a->ComponentIndex(), 0);
  log.clear();
  delete form;
  // The form's own destructor body first, then its components last first (A with its
  // own component); no notices for plain owned components.
  EXPECT_EQ(log, (std::vector<std::string>{"~Form", "~B", "~A", "~Inner"}));
}

TEST(Component, FreeNotificationAcrossOwnersClearsLinks) {
  std::vector<std::string> log;
  Probe form1(nullptr, "Form1", &log);
  Probe form2(nullptr, "Form2", &log);
  auto* user = new Probe(&form1, "User", &log);
  auto* used = new Probe(&form2, "Used", &log);
  user->link = used;
  used->FreeNotification(user);
  log.clear();
  delete used;
  EXPECT_EQ(user->link, nullptr);
  EXPECT_NE(std::find(log.begin(), log.end(), "User -Used"), log.end());

  // After RemoveFreeNotification nothing is told.
  auto* other = new Probe(&form2, "Other", &log);
  other->FreeNotification(user);
  other->RemoveFreeNotification(user);
  log.clear();
  delete other;
  EXPECT_EQ(std::find(log.begin(), log.end(), "User -Other"), log.end());
}

TEST(Component, SiblingsHearOfEachOtherThroughTheOwner) {
  std::vector<std::string> log;
  auto* form = new Probe(nullptr, "Form", &log);
  auto* a = new Probe(form, "A", &log);
  auto* b = new Probe(form, "B", &log);
  a->link = b;
  b->FreeNotification(a);
  delete b;
  EXPECT_EQ(a->link, nullptr);
  // Destroying the owner tells siblings of linked components as they go.
  auto* c = new Probe(form, "C", &log);
  auto* d = new Probe(form, "D", &log);
  c->link = d;
  d->FreeNotification(c);
  log.clear();
  delete form;
  EXPECT_NE(std::find(log.begin(), log.end(), "C -D"), log.end());
}

TEST(Component, InsertRemoveAndNames) {
  std::vector<std::string> log;
  Probe owner1(nullptr, "O1", &log);
  Probe owner2(nullptr, "O2", &log);
  auto* x = new Probe(&owner1, "X", &log);
  // Told while X is built, before it has a name.
  EXPECT_NE(std::find(log.begin(), log.end(), "O1 +"), log.end());

  owner2.InsertComponent(x);  // moves it over
  EXPECT_EQ(owner1.ComponentCount(), 0);
  EXPECT_EQ(x->Owner(), &owner2);

  auto* y = new Probe(&owner2, "Y", &log);
  EXPECT_THROW(y->SetName("x"), EComponentError);  // duplicate, without case
  EXPECT_THROW(y->SetName("1abc"), EComponentError);
  try {
    y->SetName("a b");
    FAIL();
  } catch (const EComponentError& e) {
    EXPECT_STREQ(e.what(), "'a b' is not a valid component name");
  }
  y->SetName("");  // empty names are always fine
  EXPECT_EQ(y->Name(), "");

  owner2.RemoveComponent(x);
  EXPECT_EQ(x->Owner(), nullptr);
  EXPECT_EQ(owner2.ComponentCount(), 1);
  delete x;
  EXPECT_THROW(owner2.Components(5), EListError);
}

TEST(Component, StateFlags) {
  TComponent root(nullptr);
  auto* child = new TComponent(&root);
  root.SetDesigning(true);
  EXPECT_TRUE(child->ComponentState().Contains(csDesigning));
  auto* late = new TComponent(&root);  // joins a designing owner
  EXPECT_TRUE(late->ComponentState().Contains(csDesigning));
  child->SetLoading(true);
  EXPECT_TRUE(child->ComponentState().Contains(csLoading));
  child->Loaded();
  EXPECT_FALSE(child->ComponentState().Contains(csLoading));
  EXPECT_THROW(child->InsertComponent(&root), EComponentError);  // owning its owner
}

TEST(Persistent, AssignOfUnknownSourceNamesBothClasses) {
  TPersistent a;
  TComponent c(nullptr);
  try {
    a.Assign(&c);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Cannot assign a TComponent to a TPersistent");
  }
  try {
    a.Assign(nullptr);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Cannot assign a nil to a TPersistent");
  }
}

// A collection that records its change reports; items carry a value that Assign copies.
class Item : public TCollectionItem {
 public:
  explicit Item(TCollection* c) : TCollectionItem(c) {}
  KV_CLASS_NAME(Item)
  void Assign(TPersistent* source) override {
    if (auto* other = dynamic_cast<Item*>(source)) {
      value = other->value;
      return;
    }
    TCollectionItem::Assign(source);
  }
  int value = 0;
};

class Recording : public TCollection {
 public:
  Recording() : TCollection(CollectionItemClass<Item>()) {}
  std::vector<TCollectionItem*> updates;
  std::vector<std::pair<TCollectionItem*, TCollectionNotification>> notices;

 protected:
  void Update(TCollectionItem* item) override { updates.push_back(item); }
  void Notify(TCollectionItem* item, TCollectionNotification action) override { notices.emplace_back(item, action); }
};

TEST(Collection, AddInsertDeleteAndIds) {
  Recording c;
  auto* a = static_cast<Item*>(c.Add());
  auto* b = static_cast<Item*>(c.Add());
  auto* front = static_cast<Item*>(c.Insert(0));
  ASSERT_EQ(c.Count(), 3);
  EXPECT_EQ(c.Items(0), front);
  EXPECT_EQ(a->Index(), 1);
  EXPECT_EQ(a->ID(), 0);
  EXPECT_EQ(b->ID(), 1);
  EXPECT_EQ(front->ID(), 2);
  EXPECT_EQ(c.FindItemID(1), b);
  EXPECT_EQ(front->DisplayName(), "Item");

  c.Delete(1);  // a
  EXPECT_EQ(c.Count(), 2);
  EXPECT_EQ(c.FindItemID(0), nullptr);
  auto* d = static_cast<Item*>(c.Add());
  EXPECT_EQ(d->ID(), 3);  // IDs are never reused

  b->SetIndex(0);
  EXPECT_EQ(c.Items(0), b);
  EXPECT_THROW(b->SetIndex(7), EListError);
  EXPECT_THROW(c.Items(-1), EListError);
  EXPECT_THROW(c.Insert(9), EListError);
  EXPECT_EQ(c.Count(), 3);  // the bad Insert added nothing

  // An item freed on its own leaves the collection.
  delete d;
  EXPECT_EQ(c.Count(), 2);
}

TEST(Collection, UpdateReportsAndNotices) {
  Recording c;
  auto* a = static_cast<Item*>(c.Add());
  // One whole-collection report per Add, after the item is built.
  ASSERT_EQ(c.updates, std::vector<TCollectionItem*>{nullptr});
  ASSERT_EQ(c.notices.size(), 1u);
  EXPECT_EQ(c.notices[0].second, cnAdded);

  c.updates.clear();
  a->SetDisplayName("x");  // a change of one item
  EXPECT_EQ(c.updates, std::vector<TCollectionItem*>{a});

  c.updates.clear();
  c.BeginUpdate();
  c.Add();
  c.Add();
  c.BeginUpdate();
  c.Delete(0);
  c.EndUpdate();
  EXPECT_TRUE(c.updates.empty());
  c.EndUpdate();
  EXPECT_EQ(c.updates, std::vector<TCollectionItem*>{nullptr});

  c.notices.clear();
  c.updates.clear();
  c.Clear();
  EXPECT_EQ(c.Count(), 0);
  EXPECT_EQ(c.updates, std::vector<TCollectionItem*>{nullptr});  // once for the whole clear
  ASSERT_EQ(c.notices.size(), 2u);
  EXPECT_EQ(c.notices[0].second, cnExtracting);
}

TEST(Collection, AssignCopiesItemsAndOwnedCollectionNamesOwner) {
  Recording source;
  static_cast<Item*>(source.Add())->value = 7;
  static_cast<Item*>(source.Add())->value = 9;
  TComponent owner(nullptr);
  TOwnedCollection target(&owner, CollectionItemClass<Item>());
  target.Add();
  target.Assign(&source);
  ASSERT_EQ(target.Count(), 2);
  EXPECT_EQ(static_cast<Item*>(target.Items(0))->value, 7);
  EXPECT_EQ(static_cast<Item*>(target.Items(1))->value, 9);
  EXPECT_EQ(target.GetOwner(), &owner);
  EXPECT_EQ(target.Items(0)->GetOwner(), &target);
  TComponent not_a_collection(nullptr);
  EXPECT_THROW(target.Assign(&not_a_collection), EConvertError);
}

TEST(List, IndexErrorsAndOwningObjectList) {
  TList list;
  int x = 1, y = 2, z = 3;
  list.Add(&x);
  list.Add(&y);
  list.Insert(0, &z);
  EXPECT_EQ(list.IndexOf(&x), 1);
  EXPECT_EQ(list.Remove(&y), 2);
  EXPECT_EQ(list.Remove(&y), -1);
  list.Move(0, 1);
  EXPECT_EQ(list.First(), &x);
  EXPECT_EQ(list.Last(), &z);
  try {
    list.Items(2);
    FAIL();
  } catch (const EListError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (2)");
  }
  EXPECT_THROW(list.Delete(-1), EListError);

  // Owned objects go with Delete, Clear and the list; Extract hands one back.
  std::vector<std::string> log;
  {
    TObjectList objects;
    objects.Add(new Probe(nullptr, "P1", &log));
    auto* p2 = new Probe(nullptr, "P2", &log);
    objects.Add(p2);
    objects.Add(new Probe(nullptr, "P3", &log));
    EXPECT_EQ(objects.Extract(p2), p2);
    objects.Delete(0);
    EXPECT_EQ(log, std::vector<std::string>{"~P1"});
    delete p2;
  }
  EXPECT_EQ(log, (std::vector<std::string>{"~P1", "~P2", "~P3"}));
}

TEST(Set, Operations) {
  TComponentState s{csLoading, csDesigning};
  EXPECT_TRUE(s.Contains(csDesigning));
  s >> csDesigning << csDestroying;
  EXPECT_FALSE(s.Contains(csDesigning));
  EXPECT_EQ(s * TComponentState{csDestroying}, TComponentState{csDestroying});
  EXPECT_TRUE((s - s).Empty());
}

}  // namespace
