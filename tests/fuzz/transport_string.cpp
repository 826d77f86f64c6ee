// The element functions on arbitrary documents, names and values: what is
// set reads back as given, a refused set changes nothing, a removal takes
// exactly the first complete element, and no answer holds a byte that the
// document did not.
//
// Input: a name length byte, the name, a value length byte, the value, then
// the document.
#include "FuzzSupport.h"

#include "devices/TransportString.h"

namespace {

void checkGet(const std::string& document, const std::string& name) {
    const auto tags = makeTags(name);
    std::string value = "\x01untouched";
    bool found = getElement(document, name, value);
    size_t open = document.find(tags.first);
    size_t close =
        open == std::string::npos ? open : document.find(tags.second, open + tags.first.size());
    FUZZ_CHECK(found == (close != std::string::npos), "getElement finds a complete element");
    if (!found) {
        FUZZ_CHECK(value == "\x01untouched", "a failed get changed the value");
        return;
    }
    size_t begin = open + tags.first.size();
    FUZZ_CHECK(value == document.substr(begin, close - begin),
               "the value is the text between the first opening tag and the next closing tag");

    std::string removed = document;
    removeElement(removed, name);
    FUZZ_CHECK(removed == document.substr(0, open) + document.substr(close + tags.second.size()),
               "removeElement takes exactly the first complete element");
}

void checkSet(const std::string& document, const std::string& name, const std::string& value) {
    std::string changed = document;
    bool set = setElement(changed, name, value);
    if (!set) {
        FUZZ_CHECK(changed == document, "a refused set changed the document");
        bool plain = document.find('<') == std::string::npos &&
                     value.find('<') == std::string::npos && name.find('<') == std::string::npos &&
                     name.find('>') == std::string::npos;
        FUZZ_CHECK(name.empty() || !plain, "a plain value refused in a document without tags");
        return;
    }
    FUZZ_CHECK(!name.empty(), "an element without a name was set");
    const std::string element = makeElement(name, value);
    FUZZ_CHECK(changed.size() >= element.size() &&
                   changed.compare(changed.size() - element.size(), element.size(), element) == 0,
               "the element is appended at the end");
    std::string read;
    FUZZ_CHECK(getElement(changed, name, read) && read == value, "a set value reads back");
    // No duplicate is left for a later read to find.
    std::string rest = changed;
    removeElement(rest, name);
    std::string none;
    FUZZ_CHECK(!getElement(rest, name, none), "a second element of the name remains");
    FUZZ_CHECK(rest.size() == changed.size() - element.size(), "removal of the set element");
    // Setting the same value again changes nothing.
    std::string again = changed;
    FUZZ_CHECK(setElement(again, name, value) && again == changed, "setting again");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    par1fuzz::prepareEnvironment();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    par1fuzz::Reader reader(data, size);
    std::string name = reader.text(reader.byte() % 24);
    std::string value = reader.text(reader.byte());
    par1fuzz::Bytes rest = reader.rest();
    std::string document(rest.begin(), rest.end());

    const auto tags = makeTags(name);
    FUZZ_CHECK(tags.first == "<" + name + ">" && tags.second == "</" + name + ">", "tags");
    const std::string element = makeElement(name, value);
    FUZZ_CHECK(element == tags.first + value + tags.second, "makeElement");
    // The closing tag is looked for after the opening one, so the element
    // reads back unless a closing tag is found before its own: inside the
    // value, or across the value's end when the name holds tag characters.
    if ((value + tags.second).find(tags.second) == value.size()) {
        std::string read;
        FUZZ_CHECK(getElement(element, name, read) && read == value, "an element reads back");
    }

    checkGet(document, name);
    checkSet(document, name, value);
    return 0;
}
