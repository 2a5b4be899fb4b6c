// The main window's stored layout and the look-up of its components.
#include "app/program_layout.h"

#include <utility>

#include "ads/adscnnct.h"
#include "ads/adsset.h"
#include "ads/adstable_query.h"
#include "ads/adstable_table.h"

namespace varelum::app {

namespace {

using rtl::StoredProperty;
using rtl::TStoredComponent;
using rtl::TStoredProperty;
using rtl::Variant;

// The stored server-type sets. A set has no variant form of its own: the layout keeps its text
// for reading, and its setter applies the set itself.
constexpr ads::TAdsServerTypes LocalServerOnly{ads::stADS_LOCAL};
constexpr const char* LocalServerOnlyText = "[stADS_LOCAL]";

TStoredProperty DatabaseName(const char* value) {
    return StoredProperty<ads::TAdsDataSet>(
        "DatabaseName", value,
        [](ads::TAdsDataSet& dataset, const Variant& v) { dataset.SetDatabaseName(v.AsString()); });
}

TStoredProperty TableName(const char* value) {
    return StoredProperty<ads::TAdsTable>(
        "TableName", value,
        [](ads::TAdsTable& table, const Variant& v) { table.SetTableName(v.AsString()); });
}

TStoredComponent Table(const char* name, const char* tableName) {
    return {
        name, rtl::Factory<ads::TAdsTable>(), {DatabaseName(StoreAlias), TableName(tableName)}, {}};
}

// A query of the count: everything else it has (no statement, parameter check on, not live)
// is its default.
TStoredComponent Query(const char* name) {
    return {name, rtl::Factory<ads::TAdsQuery>(), {DatabaseName(StoreAlias)}, {}};
}

TStoredComponent AdsConnection1() {
    return {"AdsConnection1",
            rtl::Factory<ads::TAdsConnection>(),
            {
                StoredProperty<ads::TAdsConnection>(
                    "AliasName", StoreAlias,
                    [](ads::TAdsConnection& c, const Variant& v) { c.SetAliasName(v.AsString()); }),
                StoredProperty<ads::TAdsConnection>("AdsServerTypes", LocalServerOnlyText,
                                                    [](ads::TAdsConnection& c, const Variant&) {
                                                        c.SetAdsServerTypes(LocalServerOnly);
                                                    }),
            },
            {}};
}

TStoredComponent AdsSettings1() {
    return {"AdsSettings1",
            rtl::Factory<ads::TAdsSettings>(),
            {
                StoredProperty<ads::TAdsSettings>(
                    "DateFormat", ProgramDateFormat,
                    [](ads::TAdsSettings& s, const Variant& v) { s.SetDateFormat(v.AsString()); }),
                StoredProperty<ads::TAdsSettings>("ShowDeleted", false,
                                                  [](ads::TAdsSettings& s, const Variant& v) {
                                                      s.SetShowDeleted(v.AsBoolean());
                                                  }),
                StoredProperty<ads::TAdsSettings>("AdsServerTypes", LocalServerOnlyText,
                                                  [](ads::TAdsSettings& s, const Variant&) {
                                                      s.SetAdsServerTypes(LocalServerOnly);
                                                  }),
            },
            {}};
}

TStoredComponent KrelOneInstance1(const TLayoutServices& services) {
    return {"KrelOneInstance1",
            [&services](rtl::TComponent& owner) -> rtl::TComponent* {
                return new TKrelOneInstance(&owner, services.Application, services.Windows,
                                            services.Halt);
            },
            {
                StoredProperty<TKrelOneInstance>("IdApplication", ProgramIdApplication,
                                                 [](TKrelOneInstance& k, const Variant& v) {
                                                     k.SetIdApplication(v.AsInteger());
                                                 }),
                StoredProperty<TKrelOneInstance>("OnDuplicated", "KrelOneInstance1Duplicated",
                                                 [&services](TKrelOneInstance& k, const Variant&) {
                                                     k.SetOnDuplicated(services.OnDuplicated);
                                                 }),
            },
            {}};
}

template <typename T>
T* Found(rtl::TComponent& root, const char* name) {
    auto* component = dynamic_cast<T*>(root.FindComponent(name));
    if (component == nullptr) {
        throw rtl::EComponentError(std::string("Component '") + name + "' not found");
    }
    return component;
}

}  // namespace

rtl::TStoredLayout ConferenciaEstoqueLayout(const TLayoutServices& services) {
    rtl::TStoredLayout layout;
    layout.Components.push_back(Table("TbCadFuncionariosLojas", "CadFuncionariosLojas.adt"));
    layout.Components.push_back(AdsConnection1());
    layout.Components.push_back(AdsSettings1());
    layout.Components.push_back(Query("Query1"));
    layout.Components.push_back(Table("TbAuditoria", "Auditoria.adt"));
    layout.Components.push_back(KrelOneInstance1(services));
    layout.Components.push_back(Query("QyCadProdutos"));
    return layout;
}

TConferenciaEstoqueComponents FindConferenciaEstoqueComponents(rtl::TComponent& root) {
    TConferenciaEstoqueComponents components;
    components.TbCadFuncionariosLojas = Found<ads::TAdsTable>(root, "TbCadFuncionariosLojas");
    components.AdsConnection1 = Found<ads::TAdsConnection>(root, "AdsConnection1");
    components.AdsSettings1 = Found<ads::TAdsSettings>(root, "AdsSettings1");
    components.Query1 = Found<ads::TAdsQuery>(root, "Query1");
    components.TbAuditoria = Found<ads::TAdsTable>(root, "TbAuditoria");
    components.KrelOneInstance1 =
        dynamic_cast<TKrelOneInstance*>(root.FindComponent("KrelOneInstance1"));
    components.QyCadProdutos = Found<ads::TAdsQuery>(root, "QyCadProdutos");
    return components;
}

}  // namespace varelum::app
