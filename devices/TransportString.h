// Element functions on transport strings: flat documents of
// "<name>value</name>" elements with no root, no separators and no escaping.
// All searches are plain, case-sensitive substring searches over the whole
// document. The input may be any bytes (a host or a printer may hand us
// anything), so every function stays inside its buffers whatever the text.
#pragma once

#include <string>
#include <string_view>
#include <utility>

// Opening and closing tag of an element: "<name>" and "</name>".
std::pair<std::string, std::string> makeTags(std::string_view name);

// "<name>" + value + "</name>", value verbatim.
std::string makeElement(std::string_view name, std::string_view value);

// Finds the first opening tag of name and the first closing tag after it and
// answers the text between them. Answers false, leaving value untouched, when
// there is no opening tag or no closing tag follows it.
bool getElement(std::string_view document, std::string_view name, std::string& value);

// Removes the first element of name, from its opening tag through the closing
// tag that follows it. Nothing happens when no such element is complete.
void removeElement(std::string& document, std::string_view name);

// Removes every element of name and appends "<name>value</name>" at the end.
// Answers false and leaves the document unchanged when the name is empty or
// when the stored value would not read back as given: the value contains its
// own closing tag, or the document holds an earlier, unclosed opening tag of
// name (or one inside another element's value) that a read would find first.
bool setElement(std::string& document, std::string_view name, std::string_view value);
