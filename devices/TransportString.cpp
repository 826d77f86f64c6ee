#include "devices/TransportString.h"

namespace {

struct Span {
    std::string::size_type begin; // first character of the opening tag
    std::string::size_type valueBegin;
    std::string::size_type valueEnd; // first character of the closing tag
    std::string::size_type end;      // one past the closing tag
};

// The closing tag is searched only after the opening tag: a closing tag that
// comes first (a malformed document) must not give a span that runs backwards.
bool findElement(std::string_view document, const std::pair<std::string, std::string>& tags,
                 Span& span) {
    const auto open = document.find(tags.first);
    if (open == std::string_view::npos) {
        return false;
    }
    const auto valueBegin = open + tags.first.size();
    const auto close = document.find(tags.second, valueBegin);
    if (close == std::string_view::npos) {
        return false;
    }
    span = Span{open, valueBegin, close, close + tags.second.size()};
    return true;
}

bool removeFirst(std::string& document, const std::pair<std::string, std::string>& tags) {
    Span span{};
    if (!findElement(document, tags, span)) {
        return false;
    }
    document.erase(span.begin, span.end - span.begin);
    return true;
}

} // namespace

std::pair<std::string, std::string> makeTags(std::string_view name) {
    std::string open = "<>";
    open.insert(1, name.data(), name.size());
    std::string close = "</>";
    close.insert(2, name.data(), name.size());
    return {std::move(open), std::move(close)};
}

std::string makeElement(std::string_view name, std::string_view value) {
    const auto tags = makeTags(name);
    std::string element;
    element.reserve(tags.first.size() + value.size() + tags.second.size());
    element.append(tags.first).append(value).append(tags.second);
    return element;
}

bool getElement(std::string_view document, std::string_view name, std::string& value) {
    Span span{};
    if (!findElement(document, makeTags(name), span)) {
        return false;
    }
    // Built apart first: document may be a view of value itself.
    std::string found(document.substr(span.valueBegin, span.valueEnd - span.valueBegin));
    value = std::move(found);
    return true;
}

void removeElement(std::string& document, std::string_view name) {
    removeFirst(document, makeTags(name));
}

bool setElement(std::string& document, std::string_view name, std::string_view value) {
    if (name.empty()) {
        return false;
    }
    // Everything is built in a copy, so that name and value may be views of
    // the document and a refused value leaves the document as it was.
    const auto tags = makeTags(name);
    std::string candidate = document;
    while (removeFirst(candidate, tags)) {
        // A duplicate left behind would be read in place of the new value.
    }
    const auto elementBegin = candidate.size();
    candidate.append(tags.first).append(value).append(tags.second);

    Span span{};
    if (!findElement(candidate, tags, span) || span.begin != elementBegin ||
        span.end != candidate.size()) {
        return false;
    }
    document = std::move(candidate);
    return true;
}
