#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What the SMB browsing helper (falavox-smb-browse) writes on its standard output for one
// browse list: a line per entry, "<kind>\t<name>\t<comment>\n", then "end\n" once the list
// is whole. In the names and comments, '%', tab, CR and LF are written as "%25", "%09",
// "%0D" and "%0A", so that any text the network gives travels in one field of one line.
// A reply without its end line was cut off (the helper failed, crashed or was ended at
// its bound) and lists nothing. Plain C++: the helper links no toolkit.
namespace platform::smbbrowse {

enum class Kind : char { workgroup = 'W', server = 'S', fileShare = 'F', printerShare = 'P' };

struct Entry {
    Kind kind = Kind::workgroup;
    std::string name;    // UTF-8, as the SMB library gives it
    std::string comment; // UTF-8, empty when the entry has none

    bool operator==(const Entry&) const = default;
};

inline constexpr std::string_view endLine = "end\n";

std::string entryLine(const Entry& entry);

// The entries of a whole reply; none when it was cut off. A line that is not an entry is
// passed over.
std::optional<std::vector<Entry>> readReply(std::string_view reply);

} // namespace platform::smbbrowse
