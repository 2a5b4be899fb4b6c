// A master-detail walk over 10,000 orders and their 100,000 items: for each order, every item
// of the order. Through the components (TAdsTable orders, TAdsTable items with MasterSource and
// MasterFields, walked with First and Next), beside the same walk by the engine's own scoped
// cursor (AdsSetScope on the items' index for each order, then AdsGetRecord and AdsSkip) in the
// same run. The ratio is what the master-detail range and the dataset layer cost on top of the
// engine.
//
// Both sides reach the engine through ace, as the program does: the library is loaded from
// VARELUM_ENGINE_LIBRARY when set, else from beside the executable or its ../lib. The store is
// built once per run in a directory in shared memory (/dev/shm, where a synced commit costs no
// disk flush).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <exception>
#include <fstream>
#include <string>
#include <vector>

#include "ace_bench_support.h"
#include "ads/ace.h"
#include "ads/adstable_table.h"
#include "db/data_source.h"
#include "db/field.h"

namespace {

using namespace varelum;
using namespace varelum::ads;
using varelum::bench::Check;
using varelum::bench::Text8;

constexpr SIGNED32 kOrders = 10'000;
constexpr SIGNED32 kItemsPerOrder = 10;
constexpr SIGNED32 kItems = kOrders * kItemsPerOrder;

ADSHANDLE CreateTable(ADSHANDLE connection, const char* name, const char* fields) {
    ADSHANDLE table = 0;
    Check(ace::AdsCreateTable90(connection, Text8(name), nullptr, VE_TABLE_TYPE_ADT,
                                VE_CHARTYPE_ANSI, VE_LOCK_PROPRIETARY, VE_RIGHTS_CHECK, 0,
                                Text8(fields), 0, nullptr, &table),
          name);
    return table;
}

void CreateIndex(ADSHANDLE table, const char* tag, const char* expression) {
    ADSHANDLE index = 0;
    Check(ace::AdsCreateIndex90(table, nullptr, Text8(tag), Text8(expression), nullptr, nullptr, 0,
                                0, nullptr, &index),
          tag);
}

// The orders and their items, under the alias "ORDERS" of an ads.ini of their own. The items
// are appended round by round (item 1 of every order, then item 2, ...), so an order's items
// lie apart in the file and only the index brings them together.
struct TOrderStore {
    std::string Directory;
    ADSHANDLE Connection = 0;

    TOrderStore() {
        char pattern[] = "/dev/shm/ads-master-detail-bench-XXXXXX";  // memory: syncs cost nothing
        Directory = mkdtemp(pattern);
        std::ofstream(Directory + "/ads.ini") << "[Databases]\nORDERS = " << Directory << "\n";
        setenv("adsini_path", Directory.c_str(), 1);
        Check(ace::AdsConnect(Text8(Directory.c_str()), &Connection), "connect");

        const ADSHANDLE orders =
            CreateTable(Connection, "Pedidos.adt", "NumPedido,Integer;Cliente,Char,30");
        for (SIGNED32 order = 1; order <= kOrders; ++order) {
            Check(ace::AdsAppendRecord(orders), "append order");
            Check(ace::AdsSetLong(orders, Text8("NumPedido"), order), "order number");
            const std::string client = "CLIENTE " + std::to_string(order);
            Check(ace::AdsSetField(orders, Text8("Cliente"), Text8(client.c_str()),
                                   static_cast<UNSIGNED32>(client.size())),
                  "client");
            Check(ace::AdsWriteRecord(orders), "write order");
        }
        CreateIndex(orders, "PEDIDO", "NumPedido");
        Check(ace::AdsCloseTable(orders), "close orders");

        const ADSHANDLE items = CreateTable(Connection, "ItensPedido.adt",
                                            "NumPedido,Integer;Item,Integer;Produto,Char,30");
        for (SIGNED32 item = 1; item <= kItemsPerOrder; ++item) {
            for (SIGNED32 order = 1; order <= kOrders; ++order) {
                Check(ace::AdsAppendRecord(items), "append item");
                Check(ace::AdsSetLong(items, Text8("NumPedido"), order), "item order");
                Check(ace::AdsSetLong(items, Text8("Item"), item), "item number");
                const std::string product = "P" + std::to_string(order * 7 % 1000);
                Check(ace::AdsSetField(items, Text8("Produto"), Text8(product.c_str()),
                                       static_cast<UNSIGNED32>(product.size())),
                      "product");
                Check(ace::AdsWriteRecord(items), "write item");
            }
        }
        CreateIndex(items, "PEDIDO", "NumPedido");
        Check(ace::AdsCloseTable(items), "close items");
    }
};

TOrderStore& Store() {
    static TOrderStore* store = new TOrderStore;
    return *store;
}

void ExpectEveryItem(benchmark::State& state, SIGNED64 seen, SIGNED64 sum) {
    // Every item once, each of its order: the item numbers add up to 55 per order.
    if (seen != kItems || sum != SIGNED64{kOrders} * (kItemsPerOrder * (kItemsPerOrder + 1) / 2)) {
        state.SkipWithError("the walk did not see every item of every order");
    }
}

// The components' way: the items follow the orders through MasterSource and MasterFields.
void BM_ComponentsMasterDetailWalk(benchmark::State& state) {
    Store();
    TAdsTable orders;
    orders.SetName("TbPedidos");
    orders.SetDatabaseName("ORDERS");
    orders.SetTableName("Pedidos.adt");
    orders.SetIndexName("PEDIDO");
    db::TDataSource source;
    source.SetDataSet(&orders);
    TAdsTable items;
    items.SetName("TbItensPedido");
    items.SetDatabaseName("ORDERS");
    items.SetTableName("ItensPedido.adt");
    items.SetIndexName("PEDIDO");
    items.SetMasterSource(&source);
    items.SetMasterFields("NumPedido");
    try {
        orders.Open();
        items.Open();
    } catch (const std::exception& error) {
        state.SkipWithError(error.what());
        return;
    }
    db::TField& item = items.FieldByName("Item");
    for (auto _ : state) {
        SIGNED64 seen = 0;
        SIGNED64 sum = 0;
        for (orders.First(); !orders.Eof(); orders.Next()) {
            for (items.First(); !items.Eof(); items.Next()) {
                ++seen;
                sum += item.AsInteger();
            }
        }
        ExpectEveryItem(state, seen, sum);
    }
    state.SetItemsProcessed(state.iterations() * kItems);
}

// The engine's own scoped cursor: for each order (in its index), the items' index scoped to
// the order's number, walked from its top with a copy of each record image.
void BM_EngineScopedCursorWalk(benchmark::State& state) {
    TOrderStore& store = Store();
    ADSHANDLE orders = 0;
    ADSHANDLE items = 0;
    for (auto [name, handle] : {std::pair{"Pedidos.adt", &orders}, {"ItensPedido.adt", &items}}) {
        Check(ace::AdsOpenTable90(store.Connection, Text8(name), nullptr, VE_TABLE_TYPE_ADT,
                                  VE_CHARTYPE_ANSI, VE_LOCK_PROPRIETARY, VE_RIGHTS_CHECK, 0,
                                  Text8("ANSI"), handle),
              name);
    }
    ADSHANDLE orderIndex = 0;
    ADSHANDLE itemIndex = 0;
    Check(ace::AdsGetIndexHandle(orders, Text8("PEDIDO"), &orderIndex), "order index");
    Check(ace::AdsGetIndexHandle(items, Text8("PEDIDO"), &itemIndex), "item index");
    std::vector<UNSIGNED8> record(256);
    for (auto _ : state) {
        SIGNED64 seen = 0;
        SIGNED64 sum = 0;
        Check(ace::AdsGotoTop(orderIndex), "first order");
        UNSIGNED16 ordersEnd = 0;
        Check(ace::AdsAtEOF(orders, &ordersEnd), "orders eof");
        while (ordersEnd == 0) {
            SIGNED32 number = 0;
            Check(ace::AdsGetLong(orders, Text8("NumPedido"), &number), "order number");
            double key = number;
            const auto* bytes = reinterpret_cast<const UNSIGNED8*>(&key);
            Check(ace::AdsSetScope(itemIndex, VE_TOP, bytes, sizeof key, VE_DOUBLEKEY), "top");
            Check(ace::AdsSetScope(itemIndex, VE_BOTTOM, bytes, sizeof key, VE_DOUBLEKEY),
                  "bottom");
            Check(ace::AdsGotoTop(itemIndex), "first item");
            UNSIGNED16 itemsEnd = 0;
            Check(ace::AdsAtEOF(items, &itemsEnd), "items eof");
            while (itemsEnd == 0) {
                UNSIGNED32 length = static_cast<UNSIGNED32>(record.size());
                Check(ace::AdsGetRecord(items, record.data(), &length), "item record");
                SIGNED32 itemNumber = 0;
                Check(ace::AdsGetLong(items, Text8("Item"), &itemNumber), "item number");
                ++seen;
                sum += itemNumber;
                Check(ace::AdsSkip(itemIndex, 1), "next item");
                Check(ace::AdsAtEOF(items, &itemsEnd), "items eof");
            }
            Check(ace::AdsSkip(orderIndex, 1), "next order");
            Check(ace::AdsAtEOF(orders, &ordersEnd), "orders eof");
        }
        ExpectEveryItem(state, seen, sum);
    }
    Check(ace::AdsCloseTable(items), "close items");
    Check(ace::AdsCloseTable(orders), "close orders");
    state.SetItemsProcessed(state.iterations() * kItems);
}

}  // namespace

BENCHMARK(BM_ComponentsMasterDetailWalk)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_EngineScopedCursorWalk)->Unit(benchmark::kMillisecond)->MinTime(2.0);

BENCHMARK_MAIN();
