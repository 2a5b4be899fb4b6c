// The top-level windows of this process on Qt (QApplication::topLevelWidgets()). Qt offers no
// portable way to search other processes' windows, so a window of a previous copy is never
// found and the guard hands over window 0, which the program's own duplicate handler ignores.
#pragma once

#include <QPointer>
#include <QWidget>

#include <vector>

#include "app/top_level_windows.h"

namespace varelum::app {

class TQtTopLevelWindows : public TTopLevelWindows {
  public:
    // A QApplication must exist while the calls run.
    TQtTopLevelWindows() = default;

    // Handles are issued per widget on first sight and stay the same for it.
    TWindowHandle FindWindowByTitle(const std::string& title) override;
    bool IsMinimized(TWindowHandle window) override;
    void Restore(TWindowHandle window) override;
    void ShowNormal(TWindowHandle window) override;
    void BringToFront(TWindowHandle window) override;

    // The widget a handle stands for; null for 0, for a handle this object never issued and
    // for a window that is gone.
    QWidget* WidgetOf(TWindowHandle window) const;

  private:
    TWindowHandle HandleOf(QWidget* widget);

    // Handle n is the widget at n - 1; a destroyed widget leaves a null entry behind, so that
    // its handle never names another window.
    std::vector<QPointer<QWidget>> FIssued;
};

}  // namespace varelum::app
