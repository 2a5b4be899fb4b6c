// The program's main window as the application shell sees it (TMainForm): the root component
// that owns the window's data components, read from the stored layout (program_layout.h), the
// count's store realised on those components, and the Qt window with the count's handlers.
//
// Building it runs the start-up's steps 5 and 6 in their order: the layout's components are
// created one after another with their stored properties (AdsSettings1 makes the first engine
// calls), their after-load steps run (KrelOneInstance1's check among them), and then the store
// and the window are made. A previous copy that the check reports is handed to the count's
// KrelOneInstance1Duplicated; as the count's handlers only exist once the window does, a report
// made during the check waits until then, still before the window is registered or shown.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/application.h"
#include "app/program_layout.h"

namespace varelum::count {
class TConferenciaEstoqueAdsStore;
}
namespace varelum::ui {
class TConferenciaEstoqueWindow;
class TMessageBoxes;
}  // namespace varelum::ui

namespace varelum::app {

class TConferenciaEstoqueMainForm final : public TMainForm {
  public:
    // application, windows and boxes must outlive the form. `halt` is the guard's way to end the
    // process (unused while the program's own duplicate handler is set, as it is). The window's
    // notices go to `boxes` under the application's title; its terminate requests to the
    // application. Throws what reading the layout throws (the components read so far are
    // destroyed again).
    TConferenciaEstoqueMainForm(TApplication& application, TTopLevelWindows& windows,
                                TProgramHalt halt, ui::TMessageBoxes& boxes);
    // The window first, then the store, then the components (last created first).
    ~TConferenciaEstoqueMainForm() override;

    TConferenciaEstoqueMainForm(const TConferenciaEstoqueMainForm&) = delete;
    TConferenciaEstoqueMainForm& operator=(const TConferenciaEstoqueMainForm&) = delete;

    std::string Caption() const override;
    void SetCaption(const std::string& caption) override;
    void CreateNativeWindow() override;
    // Shows the window (its FormShow runs before this returns) and reports the showing where
    // message boxes go to standard error (program_message_boxes.h).
    void Show() override;

    // Asks the window to close, as its title bar's close button does: the count may refuse.
    void RequestClose();

    ui::TConferenciaEstoqueWindow& Window() { return *FWindow; }
    const TConferenciaEstoqueComponents& Components() const { return FComponents; }

  private:
    struct TDuplicateReport {
        rtl::TComponent* Sender;
        std::uint32_t PrevInstance;
    };

    void KrelOneInstance1Duplicated(rtl::TComponent* Sender, std::uint32_t PrevInstance);

    // Referred to by the layout's guard factory while the layout is read.
    TLayoutServices FServices;
    std::unique_ptr<rtl::TComponent> FRoot;
    TConferenciaEstoqueComponents FComponents;
    std::unique_ptr<count::TConferenciaEstoqueAdsStore> FStore;
    std::unique_ptr<ui::TConferenciaEstoqueWindow> FWindow;
    std::optional<TDuplicateReport> FPendingDuplicate;
};

}  // namespace varelum::app
