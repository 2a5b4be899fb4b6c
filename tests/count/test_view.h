// The count's test view: a window without a toolkit that keeps what the count writes, lets a test
// type into the code field and pick a product in the chooser the way the real controls do, and
// records every notice.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "count/conferencia_estoque_view.h"
#include "db/data_source.h"
#include "db/dataset.h"

namespace varelum::count::testing {

enum class TFocus { None, Edit1, DBLookupComboBox1 };

class TTestView : public TConferenciaEstoqueView {
  public:
    void BindDataSources(db::TDataSource& dataSource1, db::TDataSource& dataSource2,
                         db::TDataSource& dataSource3) override {
        ChooserSource = &dataSource1;
        Grid1Source = &dataSource2;
        Grid2Source = &dataSource3;
    }

    std::string Edit1Text() const override { return Edit1; }
    void SetEdit1Text(const std::string& text) override { Edit1 = text; }
    void SetEdit1Enabled(bool enabled) override { Edit1Enabled = enabled; }
    void FocusEdit1() override { Focus = TFocus::Edit1; }

    // As the lookup drop-down: the key row's text while the listed dataset is open.
    std::string DBLookupComboBox1Text() const override {
        const db::TDataSet* list = ChooserSource ? ChooserSource->DataSet() : nullptr;
        return ChooserKeyValue && list != nullptr && list->Active() ? ChooserShownText : "";
    }
    void ClearDBLookupComboBox1KeyValue() override {
        ChooserKeyValue.reset();
        ChooserShownText.clear();
    }
    void SetDBLookupComboBox1Enabled(bool enabled) override { ChooserEnabled = enabled; }
    void FocusDBLookupComboBox1() override { Focus = TFocus::DBLookupComboBox1; }

    void SetLabel2Caption(const std::string& caption) override { Label2 = caption; }
    void SetLabel4Caption(const std::string& caption) override { Label4 = caption; }
    void SetLabel5Caption(const std::string& caption) override { Label5 = caption; }
    void SetStatusBar1PanelText(int index, const std::string& text) override {
        Panels.at(static_cast<std::size_t>(index)) = text;
    }
    void ShowNotice(const std::string& text) override { Notices.push_back(text); }
    void SetWindowStateNormal() override { WindowStateNormal = true; }

    // The user picks the row whose CodProduto is `code` in the dropped-down chooser: the listed
    // dataset moves there and the chooser's key value and text follow. False when the chooser
    // is disabled or lists no such row.
    bool Pick(const std::string& code) {
        db::TDataSet* list = ChooserSource ? ChooserSource->DataSet() : nullptr;
        if (!ChooserEnabled || list == nullptr || !list->Active()) {
            return false;
        }
        for (list->First(); !list->Eof(); list->Next()) {
            if (list->FieldByName("CodProduto").AsString() == code) {
                ChooserKeyValue = code;
                ChooserShownText = list->FieldByName("CodProduto").AsString();
                return true;
            }
        }
        return false;
    }

    // The window's state, as the user sees it.
    std::string Edit1;
    bool Edit1Enabled = false;  // the code field starts disabled
    std::optional<std::string> ChooserKeyValue;
    std::string ChooserShownText;
    bool ChooserEnabled = true;
    TFocus Focus = TFocus::None;
    std::string Label2, Label4, Label5;
    std::array<std::string, 3> Panels{"F2 = Abrir Conferência", "F4 = Fechar Conferência", ""};
    std::vector<std::string> Notices;
    bool WindowStateNormal = false;

    db::TDataSource* ChooserSource = nullptr;
    db::TDataSource* Grid1Source = nullptr;
    db::TDataSource* Grid2Source = nullptr;
};

}  // namespace varelum::count::testing
