// The brands a product of this family is sold under: the first two
// characters of a module's local id name its brand, and the brand names the
// registry key below "Software\" that holds the product's settings.
#pragma once

#include <string>

// The key name of the brand whose code (compared without regard to ASCII
// case) begins the local id; "Vantrel Tools" when no brand has that code.
std::string findBrandKey(const std::string& localId);
