#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "stats/RefObjects.h"
#include "support/Errors.h"

using namespace Quorin;

namespace {

// Counts its destructions in a counter the test owns.
class TTracked : public TRefObject {
public:
  explicit TTracked(int& Destroyed) : FDestroyed(Destroyed) {}

protected:
  ~TTracked() override { ++FDestroyed; }

private:
  int& FDestroyed;
};

// A list that records its notifications.
class TRecordingList : public TList {
public:
  ~TRecordingList() override { Clear(); }
  std::vector<std::pair<void*, TListNotification>> Log;

protected:
  void Notify(void* Item, TListNotification Action) override { Log.emplace_back(Item, Action); }
};

int Slot[4];
void* P(int I) { return &Slot[I]; }

}  // namespace

TEST(RefObject, CountsAndDestroysOnLastRelease) {
  int Destroyed = 0;
  TTracked* Obj = new TTracked(Destroyed);
  EXPECT_EQ(Obj->RefCount(), 0);
  EXPECT_EQ(Obj->AddRef(), 1);
  EXPECT_EQ(Obj->AddRef(), 2);
  EXPECT_EQ(Obj->Release(), 1);
  EXPECT_EQ(Destroyed, 0);
  EXPECT_EQ(Obj->Release(), 0);
  EXPECT_EQ(Destroyed, 1);
}

TEST(RefObject, FreeWithCountZeroDestroysAndWithReferencesRaises) {
  int Destroyed = 0;
  TTracked* Obj = new TTracked(Destroyed);
  Obj->AddRef();
  try {
    Obj->Free();
    FAIL() << "Free with a reference held";
  } catch (const EInvalidPointer& E) {
    EXPECT_EQ(E.Message(), "Invalid pointer operation");
  }
  EXPECT_EQ(Destroyed, 0);
  EXPECT_EQ(Obj->RefCount(), 1);  // untouched by the refused destruction
  EXPECT_THROW(TRefObject::Destroy(Obj), EInvalidPointer);
  Obj->Release();
  EXPECT_EQ(Destroyed, 1);

  TTracked* Other = new TTracked(Destroyed);
  Other->Free();
  EXPECT_EQ(Destroyed, 2);
  TRefObject::Destroy(nullptr);  // nothing to do
  EXPECT_EQ(Destroyed, 2);
}

TEST(RefObject, FreeFunctions) {
  int Destroyed = 0;
  TTracked* Ref = nullptr;
  RefAssign(Ref, new TTracked(Destroyed));
  ASSERT_NE(Ref, nullptr);
  EXPECT_EQ(Ref->RefCount(), 1);
  TTracked* Second = Ref;
  RefAssign(Ref, static_cast<TTracked*>(nullptr));  // does not release what Ref held
  EXPECT_EQ(Ref, nullptr);
  EXPECT_EQ(Second->RefCount(), 1);
  RefAddRef(Second);
  EXPECT_EQ(Second->RefCount(), 2);
  RefRelease(Second);
  RefRelease(nullptr);
  EXPECT_EQ(Destroyed, 0);
  RefRelease(Second);
  EXPECT_EQ(Destroyed, 1);

  {
    TRefHolder<TTracked> Holder(new TTracked(Destroyed));
    EXPECT_EQ(Holder->RefCount(), 1);
  }
  EXPECT_EQ(Destroyed, 2);
}

TEST(TList, OperationsAndNotifications) {
  TRecordingList L;
  EXPECT_EQ(L.Add(P(0)), 0);
  EXPECT_EQ(L.Add(nullptr), 1);  // a null entry never notifies
  L.Insert(0, P(1));
  L.Insert(3, P(2));  // at the end
  ASSERT_EQ(L.Count(), 4);
  EXPECT_EQ(L.Get(0), P(1));
  EXPECT_EQ(L.Get(1), P(0));
  EXPECT_EQ(L.Get(2), nullptr);
  EXPECT_EQ(L.Get(3), P(2));
  using N = std::vector<std::pair<void*, TListNotification>>;
  EXPECT_EQ(L.Log, (N{{P(0), lnAdded}, {P(1), lnAdded}, {P(2), lnAdded}}));

  L.Log.clear();
  EXPECT_EQ(L.IndexOf(P(2)), 3);
  EXPECT_EQ(L.IndexOf(P(3)), -1);
  EXPECT_EQ(L.Extract(P(0)), P(0));
  EXPECT_EQ(L.Extract(P(3)), nullptr);
  EXPECT_EQ(L.Count(), 3);
  EXPECT_EQ(L.Log, (N{{P(0), lnExtracted}}));

  L.Log.clear();
  L.Put(1, P(3));  // replaces the null
  L.Put(0, P(0));  // replaces P(1)
  EXPECT_EQ(L.Log, (N{{P(3), lnAdded}, {P(0), lnAdded}, {P(1), lnDeleted}}));

  L.Log.clear();
  EXPECT_EQ(L.Remove(P(3)), 1);
  EXPECT_EQ(L.Remove(P(3)), -1);
  L.Delete(0);
  EXPECT_EQ(L.Log, (N{{P(3), lnDeleted}, {P(0), lnDeleted}}));
  EXPECT_EQ(L.Count(), 1);
  EXPECT_EQ(L.Get(0), P(2));
}

TEST(TList, CountRaisesWithNullsAndLowersByDeletingFromTheEnd) {
  TRecordingList L;
  L.Add(P(0));
  L.Add(P(1));
  L.Add(P(2));
  L.Log.clear();
  L.SetCount(5);
  EXPECT_EQ(L.Count(), 5);
  EXPECT_EQ(L.Get(4), nullptr);
  EXPECT_TRUE(L.Log.empty());
  L.SetCount(1);
  using N = std::vector<std::pair<void*, TListNotification>>;
  EXPECT_EQ(L.Log, (N{{P(2), lnDeleted}, {P(1), lnDeleted}}));
  EXPECT_THROW(L.SetCount(-1), EListError);
  L.Log.clear();
  L.Clear();
  EXPECT_EQ(L.Count(), 0);
  EXPECT_EQ(L.Log, (N{{P(0), lnDeleted}}));
}

TEST(TList, IndexOutOfBounds) {
  TRecordingList L;
  L.Add(P(0));
  auto Message = [](auto&& F) {
    try {
      F();
    } catch (const EListError& E) {
      return E.Message();
    }
    return std::string("no error");
  };
  EXPECT_EQ(Message([&] { L.Get(1); }), "List index out of bounds (1)");
  EXPECT_EQ(Message([&] { L.Get(-1); }), "List index out of bounds (-1)");
  EXPECT_EQ(Message([&] { L.Delete(1); }), "List index out of bounds (1)");
  EXPECT_EQ(Message([&] { L.Put(2, P(1)); }), "List index out of bounds (2)");
  EXPECT_EQ(Message([&] { L.Insert(2, P(1)); }), "List index out of bounds (2)");
  EXPECT_EQ(L.Count(), 1);
  EXPECT_EQ(L.Log.size(), 1u);  // only the first Add
}

TEST(TRefObjectList, HoldsOneReferencePerEntry) {
  int Destroyed = 0;
  TTracked* A = nullptr;
  RefAssign(A, new TTracked(Destroyed));
  {
    TRefObjectList L;
    L.Add(A);
    L.Add(A);  // twice: two references
    EXPECT_EQ(A->RefCount(), 3);
    EXPECT_EQ(L.Remove(A), 0);  // the first occurrence and one reference
    EXPECT_EQ(L.Count(), 1);
    EXPECT_EQ(L.Items(0), A);
    EXPECT_EQ(A->RefCount(), 2);
    L.Add(nullptr);
    EXPECT_EQ(L.Items(1), nullptr);
    EXPECT_EQ(A->RefCount(), 2);
  }
  // The list's destruction released its entry.
  EXPECT_EQ(A->RefCount(), 1);
  EXPECT_EQ(Destroyed, 0);
  RefRelease(A);
  EXPECT_EQ(Destroyed, 1);
}

TEST(TRefObjectList, ExtractionHandsTheReferenceToTheCaller) {
  int Destroyed = 0;
  TRefObjectList L;
  TTracked* A = new TTracked(Destroyed);
  L.Add(A);  // the list's reference is the only one
  EXPECT_EQ(A->RefCount(), 1);
  EXPECT_EQ(L.Extract(A), A);
  EXPECT_EQ(L.Count(), 0);
  EXPECT_EQ(A->RefCount(), 1);
  EXPECT_EQ(Destroyed, 0);
  RefRelease(A);
  EXPECT_EQ(Destroyed, 1);
}

TEST(TRefObjectList, DeletionReleasesAndDestroysUnreferencedObjects) {
  int Destroyed = 0;
  TRefObjectList L;
  TTracked* A = new TTracked(Destroyed);
  TTracked* B = new TTracked(Destroyed);
  TTracked* C = new TTracked(Destroyed);
  L.Add(A);
  L.Add(B);
  L.Add(C);
  L.Delete(0);
  EXPECT_EQ(Destroyed, 1);
  // Replacing an entry releases the old object and references the new one.
  TTracked* D = new TTracked(Destroyed);
  L.Put(0, D);
  EXPECT_EQ(Destroyed, 2);
  EXPECT_EQ(D->RefCount(), 1);
  // Putting an object into its own slot keeps it alive.
  L.Put(0, D);
  EXPECT_EQ(Destroyed, 2);
  EXPECT_EQ(D->RefCount(), 1);
  L.SetCount(1);  // C goes
  EXPECT_EQ(Destroyed, 3);
  L.Clear();
  EXPECT_EQ(Destroyed, 4);
}
