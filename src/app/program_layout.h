// The stored layout of the main window's data components: what the program's main window is
// built from, component by component, in the stored order, each with the properties stored for
// it (only those that differ from their defaults, as a stored form holds them):
//
//   TbCadFuncionariosLojas  table   DatabaseName "BALDERIM", TableName "CadFuncionariosLojas.adt"
//   AdsConnection1          conn.   AliasName "BALDERIM", AdsServerTypes [stADS_LOCAL]
//   AdsSettings1            engine  DateFormat "dd/MM/yyyy", ShowDeleted false,
//                                   AdsServerTypes [stADS_LOCAL]
//   Query1                  query   DatabaseName "BALDERIM"
//   TbAuditoria             table   DatabaseName "BALDERIM", TableName "Auditoria.adt"
//   KrelOneInstance1        guard   IdApplication 2000, OnDuplicated
//   QyCadProdutos           query   DatabaseName "BALDERIM"
//
// The queries store no statement (the count sets it before every run), keep the parameter
// check on and are not live; the tables are ADT (the default). No dataset is stored active, so
// reading opens nothing; AdsSettings1 makes the program's first engine calls (and so loads the
// engine library) while it is read, and KrelOneInstance1 checks for another running copy in
// its after-load step.
//
// The window's in-memory lists and data sources (DataSource1, cdsQtdeProdConfIgual and
// cdsQtdeProdConfDif with their fields codgrupo and codproduto, DataSource2, DataSource3) come
// between Query1 and TbAuditoria in the window's design; they belong to the count's handlers
// (count::TConferenciaEstoqueForm1), which make them when the window is built, right after
// this layout is read, because the product list's data source needs QyCadProdutos to exist.
#pragma once

#include <cstdint>
#include <string>

#include "app/krel_one_instance.h"
#include "rtl/component_reader.h"

namespace varelum::ads {
class TAdsConnection;
class TAdsQuery;
class TAdsSettings;
class TAdsTable;
}  // namespace varelum::ads

namespace varelum::app {

// The database every dataset of the window names: an alias of ads.ini.
inline constexpr const char* StoreAlias = "BALDERIM";
// The root's name, the main window's class name without its T.
inline constexpr const char* MainFormComponentName = "ConferenciaEstoqueForm1";
inline constexpr std::int32_t ProgramIdApplication = 2000;
inline constexpr const char* ProgramDateFormat = "dd/MM/yyyy";

// What the guard needs from the program: the application, the toolkit's windows and the halt
// (see TKrelOneInstance), and the handler of a detected previous copy.
struct TLayoutServices {
    TApplication& Application;
    TTopLevelWindows& Windows;
    TProgramHalt Halt;
    TKrelDuplicatedEvent OnDuplicated;
};

// The layout above; `services` is referred to by the guard's factory and must outlive the
// reading of the layout (the application and windows outlive the guard).
rtl::TStoredLayout ConferenciaEstoqueLayout(const TLayoutServices& services);

// The layout's data components, found by name in a root that has read the layout.
struct TConferenciaEstoqueComponents {
    ads::TAdsTable* TbCadFuncionariosLojas = nullptr;
    ads::TAdsConnection* AdsConnection1 = nullptr;
    ads::TAdsSettings* AdsSettings1 = nullptr;
    ads::TAdsQuery* Query1 = nullptr;
    ads::TAdsTable* TbAuditoria = nullptr;
    TKrelOneInstance* KrelOneInstance1 = nullptr;  // null in a layout read without the guard
    ads::TAdsQuery* QyCadProdutos = nullptr;
};

// Raises rtl::EComponentError "Component '<name>' not found" when a data component (the guard
// apart) is missing or of another class.
TConferenciaEstoqueComponents FindConferenciaEstoqueComponents(rtl::TComponent& root);

}  // namespace varelum::app
