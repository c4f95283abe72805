// The program's fixed texts: the help text and the info text. Both are Latin-1; the
// line writer converts them for the console.
#pragma once

#include <string>
#include <vector>

// The info paragraphs, one entry each; a carriage return inside an entry breaks the line.
class TInfoAdds : public std::vector<std::string> {
 public:
  TInfoAdds();
};

// The one info list of the program, built on first use.
const TInfoAdds& InfoAdds();

// Help rows up to the heading of the function names; progName is the file name the
// program was started under.
std::vector<std::string> HelpRowsBeforeNames(const std::string& progName);

// Help rows after the line of function names and the empty line that follows it.
std::vector<std::string> HelpRowsAfterNames();

// The rows --help adds after the help text: each option with two dashes in one row.
std::vector<std::string> OptionRows();
