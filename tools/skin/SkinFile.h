// Puts generated sections into the text of a layout file. A section runs
// from its header line ("[Name]" in the first column) to the line before the
// next header. Every section of the given name is taken out; the new text
// stands where the first one stood, or at the end of the file. Comment
// lines that set labels ("#label ...") inside a removed section are kept.
#ifndef VEXIL_TOOLS_SKIN_SKINFILE_H
#define VEXIL_TOOLS_SKIN_SKINFILE_H

#include <string>

// `section`: the new section, header line first, ending in a line feed.
std::string replaceSection(const std::string &fileText, const std::string &name, const std::string &section);

#endif
