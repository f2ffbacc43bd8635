#pragma once

#include <string>
#include <vector>

#include "settings/Settings.h"

// Setting up the product for the fuzz targets.
namespace fuzz {

// Constructing a platform monitor reads the registry file and empties the info
// directory it names. Before the fuzz targets construct one, they point the
// registry file at a private copy whose TRVMountdDEVPath names a directory
// under their scratch directory:
//
// writes scratch + "/registry.ini" naming scratch + "/info/", points
// Registry::RegistryFile at it and makes sure a lookup now gives that
// directory (aborts otherwise, before any monitor exists). Returns the info
// directory.
std::string UsePrivateInfoDirectory(const std::string& scratch);

// Switches every kind of record of the library layer's logger on and sends
// the records to /dev/null, so that the values the registry reader and the
// INI file wrapper trace (texts taken from the fuzzed files among them) go
// through the record writer too. Writes scratch + "/qrllog.ini" and names it
// with QRLLog::setIniFile; aborts when the switches did not come on.
void TraceToDevNull(const std::string& scratch);

// Compares MassStorageDevice's three predicates on (vendor, product) with the
// recognition rules written out (ASCII lower case, trailing white space
// trimmed, the table of the maker's pairs; Silvenmar only with the untrimmed
// product); aborts on a difference.
void CheckClassification(const std::string& vendor, const std::string& product);

// Settings parsed from a command line, as main builds them.
Settings* NewSettings(const std::vector<std::string>& arguments);

// After the last device departed: no info file is left in infoDir, and
// linkDir holds nothing but (with keep-link) link paths and placeholders;
// aborts otherwise. Then empties linkDir, so every input starts with no link
// and no placeholder.
void CheckDepartedAndReset(const std::string& infoDir, const std::string& linkDir, bool keepLink);

// The names in dir, without "." and "..".
std::vector<std::string> ListDir(const std::string& dir);

}  // namespace fuzz
