// The upper-case entry on Qt: the count's own mapping (UpperCaseAsTyped), so that what a field
// shows is exactly what the count's rules expect.
#include "ui/upper_case_validator.h"

#include <algorithm>

#include "count/senha_acesso.h"

namespace varelum::ui {

QValidator::State TUpperCaseValidator::validate(QString& input, int& pos) const {
    const QString upper = QString::fromStdString(count::UpperCaseAsTyped(input.toStdString()));
    if (upper != input) {
        input = upper;
        pos = std::clamp(pos, 0, static_cast<int>(input.size()));
    }
    return Acceptable;
}

}  // namespace varelum::ui
