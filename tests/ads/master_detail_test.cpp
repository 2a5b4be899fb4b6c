// The master-detail range of TAdsDataSet against the real engine: orders and their items, the
// items following the order through First, Next, Last, a change of the order's number, a new
// item, a change of the detail's index and the master closing; and the circular link refused.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "db/data_source.h"
#include "db/field.h"
#include "range_test_support.h"

namespace varelum::ads {
namespace {

using test::kOrderItems;
using test::kOrders;

class MasterDetailTest : public test::TRangeFixture {
  protected:
    void SetUp() override {
        test::TRangeFixture::SetUp();
        if (IsSkipped()) {
            return;
        }
        CreateOrders(4, 3);
        FOrders = Table(kOrders);
        FOrders->SetIndexName("PEDIDO");
        FOrders->Open();
        FSource.SetDataSet(FOrders.get());
        FItems = Table(kOrderItems);
        FItems->SetIndexName("PEDIDO_ITEM");
        FItems->SetMasterSource(&FSource);
        FItems->SetMasterFields("NumPedido");
        FItems->Open();
    }

    // The order numbers and items the detail shows: "order:item,item,...".
    std::string Shown() {
        std::set<int> orders;
        std::string items;
        FItems->First();
        while (!FItems->Eof()) {
            orders.insert(FItems->FieldByName("NumPedido").AsInteger());
            items += (items.empty() ? "" : ",") + FItems->FieldByName("Item").AsString();
            FItems->Next();
        }
        std::string shown;
        for (int order : orders) {
            shown += std::to_string(order) + " ";
        }
        return shown + ":" + items;
    }

    int MasterNumber() const { return FOrders->FieldByName("NumPedido").AsInteger(); }

    db::TDataSource FSource;
    std::unique_ptr<TAdsTable> FOrders;
    std::unique_ptr<TAdsTable> FItems;
};

TEST_F(MasterDetailTest, TheItemsFollowTheOrderThroughFirstNextAndLast) {
    EXPECT_EQ(MasterNumber(), 1);
    EXPECT_EQ(Shown(), "1 :1,2,3") << "the range is set when the detail opens";
    FOrders->Next();
    EXPECT_EQ(Shown(), "2 :1,2,3");
    FOrders->Last();
    EXPECT_EQ(MasterNumber(), 4);
    EXPECT_EQ(Shown(), "4 :1,2,3");
    FOrders->First();
    EXPECT_EQ(Shown(), "1 :1,2,3");
    EXPECT_EQ(FItems->RecordCount(), 12) << "default counting ignores the range";
    FItems->AdsTableOptions().SetAdsScopeOptions(RESPECT_SCOPES_WHEN_COUNTING);
    EXPECT_EQ(FItems->RecordCount(), 3);
}

TEST_F(MasterDetailTest, TheItemsFollowAnEditOfTheOrdersNumber) {
    FOrders->Next();
    FOrders->Edit();
    FOrders->FieldByName("NumPedido").SetAsInteger(9);
    EXPECT_EQ(Shown(), ":") << "no items belong to order 9";
    FOrders->FieldByName("NumPedido").SetAsInteger(3);
    EXPECT_EQ(Shown(), "3 :1,2,3");
    FOrders->Cancel();
    EXPECT_EQ(Shown(), "2 :1,2,3");
}

TEST_F(MasterDetailTest, ANewItemTakesTheOrdersNumber) {
    FOrders->Last();
    FItems->Append();
    FItems->FieldByName("Item").SetAsInteger(4);
    FItems->FieldByName("Produto").SetAsString("P4-4");
    FItems->Post();
    EXPECT_EQ(FItems->FieldByName("NumPedido").AsInteger(), 4);
    EXPECT_EQ(Shown(), "4 :1,2,3,4");
}

TEST_F(MasterDetailTest, AnotherIndexOfTheDetailKeepsTheRangeAndAClosedMasterDropsIt) {
    FOrders->Next();
    FItems->SetIndexName("PEDIDO");
    EXPECT_EQ(Shown().substr(0, 3), "2 :");
    EXPECT_EQ(FItems->RecordCount(), 12);
    FOrders->Close();
    EXPECT_EQ(Shown(), "1 2 3 4 :3,2,1,3,2,1,3,2,1,3,2,1") << "all items, in the table's order";
}

TEST_F(MasterDetailTest, ADetailCannotBeItsOwnMaster) {
    db::TDataSource itemsSource;
    itemsSource.SetDataSet(FItems.get());
    EXPECT_EQ(Message([&] { FItems->SetMasterSource(&itemsSource); }),
              "TbItensPedido: Circular Data Link");
    EXPECT_EQ(Message([&] { FOrders->SetMasterSource(&itemsSource); }),
              "TbPedidos: Circular Data Link")
        << "the items' master leads back to the orders";
    FItems->SetMasterSource(nullptr);
    EXPECT_EQ(FItems->MasterFields(), "") << "no master, no master fields";
    EXPECT_EQ(Shown().substr(0, 9), "1 2 3 4 :") << "no range";
}

}  // namespace
}  // namespace varelum::ads
