// Helpers of the filter, scope, range and master-detail tests: a small stock table with
// indexes on a text, a number and a date, and a pair of orders and their items.
#pragma once

#include <memory>
#include <string>

#include "db/field.h"
#include "search_test_support.h"

namespace varelum::ads::test {

inline constexpr const char* kItems = "Itens.adt";
inline constexpr const char* kOrders = "Pedidos.adt";
inline constexpr const char* kOrderItems = "ItensPedido.adt";

class TRangeFixture : public TDataSetFixture {
  protected:
    void SetUp() override {
        TDataSetFixture::SetUp();
        if (IsSkipped()) {
            return;
        }
        // In the table's order neither names, quantities nor days are sorted.
        const ADSHANDLE table =
            CreateTable(kItems, "Codigo,Integer;Nome,Char,20;Qtde,Integer;Dia,Date;Notas,Char,60");
        AppendRow(table, {{"Codigo", "1"},
                          {"Nome", "PARAFUSO"},
                          {"Qtde", "10"},
                          {"Dia", "01/05/2024"},
                          {"Notas", "aco inox"}});
        AppendRow(table, {{"Codigo", "2"},
                          {"Nome", "PARAFUSADEIRA"},
                          {"Qtde", "3"},
                          {"Dia", "02/10/2024"},
                          {"Notas", "eletrica"}});
        AppendRow(table, {{"Codigo", "3"},
                          {"Nome", "PREGO"},
                          {"Qtde", "50"},
                          {"Dia", "03/15/2024"},
                          {"Notas", "ferro"}});
        AppendRow(table, {{"Codigo", "4"},
                          {"Nome", "ARRUELA"},
                          {"Qtde", "20"},
                          {"Dia", "01/20/2024"},
                          {"Notas", "zinco"}});
        AppendRow(table, {{"Codigo", "5"},
                          {"Nome", "PORCA"},
                          {"Qtde", "7"},
                          {"Dia", "02/28/2024"},
                          {"Notas", "inox sextavada"}});
        ace::AdsCloseTable(table);
        CreateIndex(kItems, "NOME", "Nome");
        CreateIndex(kItems, "QTDE", "Qtde");
        CreateIndex(kItems, "DIA", "Dia");
    }

    // The stock table, open in the order of an index (none: the table's order).
    static std::unique_ptr<TAdsTable> OpenItems(const std::string& index = "") {
        auto table = Table(kItems);
        table->SetIndexName(index);
        table->Open();
        return table;
    }

    static std::string Name(const TAdsDataSet& table) {
        return table.FieldByName("Nome").AsString();
    }

    // The names the dataset shows from its first record on, ","-separated.
    static std::string Names(TAdsDataSet& table) {
        std::string names;
        table.First();
        while (!table.Eof()) {
            names += (names.empty() ? "" : ",") + Name(table);
            table.Next();
        }
        return names;
    }

    static bool HasAof(const TAdsDataSet& table) {
        UNSIGNED8 text[512] = {};
        UNSIGNED16 length = sizeof text;
        return ace::AdsGetAOF(table.Handle(), text, &length) == 0;
    }

    static bool HasPlainFilter(const TAdsDataSet& table) {
        UNSIGNED8 text[512] = {};
        UNSIGNED16 length = sizeof text;
        return ace::AdsGetFilter(table.Handle(), text, &length) == 0;
    }

    // Orders 1 to `orders` with `perOrder` items each (item numbers 1..perOrder), written in
    // an order that is not the orders' one.
    void CreateOrders(int orders, int perOrder) {
        const ADSHANDLE master = CreateTable(kOrders, "NumPedido,Integer;Cliente,Char,30");
        for (int order = orders; order >= 1; --order) {
            const std::string number = std::to_string(order);
            const std::string client = "CLIENTE " + number;
            AppendRow(master, {{"NumPedido", number.c_str()}, {"Cliente", client.c_str()}});
        }
        ace::AdsCloseTable(master);
        const ADSHANDLE detail =
            CreateTable(kOrderItems, "NumPedido,Integer;Item,Integer;Produto,Char,30");
        for (int item = perOrder; item >= 1; --item) {
            for (int order = 1; order <= orders; ++order) {
                const std::string number = std::to_string(order);
                const std::string itemText = std::to_string(item);
                const std::string product = "P" + number + "-" + itemText;
                AppendRow(detail, {{"NumPedido", number.c_str()},
                                   {"Item", itemText.c_str()},
                                   {"Produto", product.c_str()}});
            }
        }
        ace::AdsCloseTable(detail);
        CreateIndex(kOrders, "PEDIDO", "NumPedido");
        CreateIndex(kOrderItems, "PEDIDO_ITEM", "NumPedido;Item");
        CreateIndex(kOrderItems, "PEDIDO", "NumPedido");
    }
};

}  // namespace varelum::ads::test
