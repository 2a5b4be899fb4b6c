// TStringList: the line operations, each bracketed by the change notices, and the text form
// with CR LF line ends.
#include "rtl/string_list.h"

#include "rtl/text.h"

namespace varelum::rtl {

// Runs body inside BeginUpdate/EndUpdate. When the body fails the update still ends (and
// OnChange still runs, since lines may have changed); a failure of OnChange at that point is
// dropped, because the body's exception is the one that explains what went wrong.
template <typename Body>
void TStringList::InUpdate(Body&& body) {
    BeginUpdate();
    try {
        body();
    } catch (...) {
        try {
            EndUpdate();
        } catch (...) {
        }
        throw;
    }
    EndUpdate();
}

TStringList& TStringList::operator=(const TStringList& other) {
    if (this != &other) {
        Assign(other);
    }
    return *this;
}

void TStringList::NotifyChanging() const {
    if (FUpdateCount == 0 && OnChanging) {
        OnChanging();
    }
}

void TStringList::NotifyChanged() const {
    if (FUpdateCount == 0 && OnChange) {
        OnChange();
    }
}

template <typename Change>
void TStringList::Changing(Change&& change) {
    NotifyChanging();
    change();
    NotifyChanged();
}

void TStringList::CheckIndex(int index, int limit) const {
    if (index < 0 || index >= limit) {
        throw EStringListError("List index out of bounds (" + std::to_string(index) + ")");
    }
}

const std::string& TStringList::operator[](int index) const {
    CheckIndex(index, Count());
    return FLines[static_cast<std::size_t>(index)];
}

void TStringList::SetStrings(int index, std::string line) {
    CheckIndex(index, Count());
    Changing([&] { FLines[static_cast<std::size_t>(index)] = std::move(line); });
}

int TStringList::Add(std::string line) {
    int index = Count();
    Insert(index, std::move(line));
    return index;
}

void TStringList::Insert(int index, std::string line) {
    CheckIndex(index, Count() + 1);
    Changing([&] { FLines.insert(FLines.begin() + index, std::move(line)); });
}

void TStringList::Delete(int index) {
    CheckIndex(index, Count());
    Changing([&] { FLines.erase(FLines.begin() + index); });
}

void TStringList::Clear() {
    if (!FLines.empty()) {
        Changing([&] { FLines.clear(); });
    }
}

int TStringList::IndexOf(std::string_view line) const noexcept {
    for (std::size_t i = 0; i < FLines.size(); ++i) {
        if (CaseSensitive ? FLines[i] == line : SameText(FLines[i], line)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::string TStringList::Text() const {
    std::string text;
    for (const std::string& line : FLines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

void TStringList::SetText(std::string_view text) {
    InUpdate([&] {
        Clear();
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find_first_of("\r\n", start);
            if (end == std::string_view::npos) {
                Add(std::string(text.substr(start)));
                break;
            }
            Add(std::string(text.substr(start, end - start)));
            start =
                end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
        }
    });
}

void TStringList::Assign(const TStringList& source) {
    if (&source == this) {
        return;
    }
    InUpdate([&] {
        Clear();
        AddStrings(source);
    });
}

void TStringList::AddStrings(const TStringList& source) {
    // Copied first: the source may be this list.
    std::vector<std::string> lines = source.FLines;
    InUpdate([&] {
        for (std::string& line : lines) {
            Add(std::move(line));
        }
    });
}

void TStringList::BeginUpdate() {
    if (FUpdateCount == 0) {
        NotifyChanging();
    }
    ++FUpdateCount;
}

void TStringList::EndUpdate() {
    --FUpdateCount;
    if (FUpdateCount == 0) {
        NotifyChanged();
    }
}

}  // namespace varelum::rtl
