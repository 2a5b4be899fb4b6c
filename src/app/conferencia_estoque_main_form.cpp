// Building the main window from its stored layout, and the window as the shell's TMainForm.
#include "app/conferencia_estoque_main_form.h"

#include <QString>

#include <utility>

#include "app/program_message_boxes.h"
#include "count/conferencia_estoque_ads_store.h"
#include "ui/conferencia_estoque_window.h"

namespace varelum::app {

TConferenciaEstoqueMainForm::TConferenciaEstoqueMainForm(TApplication& application,
                                                         TTopLevelWindows& windows,
                                                         TProgramHalt halt,
                                                         ui::TMessageBoxes& boxes)
    : FServices{application, windows, std::move(halt),
                [this](rtl::TComponent* Sender, std::uint32_t PrevInstance) {
                    KrelOneInstance1Duplicated(Sender, PrevInstance);
                }},
      FRoot(std::make_unique<rtl::TComponent>()) {
    FRoot->SetName(MainFormComponentName);
    rtl::TComponentReader::Read(*FRoot, ConferenciaEstoqueLayout(FServices));
    FComponents = FindConferenciaEstoqueComponents(*FRoot);
    FStore = std::make_unique<count::TConferenciaEstoqueAdsStore>(
        *FComponents.TbCadFuncionariosLojas, *FComponents.TbAuditoria, *FComponents.QyCadProdutos,
        *FComponents.Query1);
    FWindow = std::make_unique<ui::TConferenciaEstoqueWindow>(
        *FStore, boxes, application.Title(), [&application] { application.Terminate(); });
    if (FPendingDuplicate) {
        const TDuplicateReport report = *FPendingDuplicate;
        FPendingDuplicate.reset();
        FWindow->Form().KrelOneInstance1Duplicated(report.Sender, report.PrevInstance);
    }
}

TConferenciaEstoqueMainForm::~TConferenciaEstoqueMainForm() {
    FWindow.reset();
    FStore.reset();
    FRoot.reset();
}

void TConferenciaEstoqueMainForm::KrelOneInstance1Duplicated(rtl::TComponent* Sender,
                                                             std::uint32_t PrevInstance) {
    if (FWindow) {
        FWindow->Form().KrelOneInstance1Duplicated(Sender, PrevInstance);
    } else {
        FPendingDuplicate = TDuplicateReport{Sender, PrevInstance};
    }
}

std::string TConferenciaEstoqueMainForm::Caption() const {
    return FWindow->windowTitle().toStdString();
}

void TConferenciaEstoqueMainForm::SetCaption(const std::string& caption) {
    FWindow->setWindowTitle(QString::fromStdString(caption));
}

void TConferenciaEstoqueMainForm::CreateNativeWindow() {
    FWindow->winId();
}

void TConferenciaEstoqueMainForm::Show() {
    FWindow->show();
    ReportWindowShown(Caption());
}

void TConferenciaEstoqueMainForm::RequestClose() {
    FWindow->close();
}

}  // namespace varelum::app
