// The space group that a list of symmetry operations describes, for the CIF writers: a file
// read back by other programs must name its group, not only list its operations.
#pragma once

#include <string>
#include <vector>

struct CifSpaceGroupName {
    std::string hm;  // Hermann-Mauguin symbol with blanks, without setting suffix ("P 1 21/c 1", "F d -3 m")
    int number = 0;  // International Tables number; 0 when the operations name no known setting
};

// The setting whose operations are exactly `ops` (texts such as "x,y,z" or "-y+1/2, x, z";
// order and repeated operations do not matter). No operation, or the identity alone, is P 1.
// Unreadable operations or a set that is no tabulated setting give number 0 and an empty
// symbol.
CifSpaceGroupName cif_space_group_of_ops(const std::vector<std::string>& ops);

// A Hermann-Mauguin symbol in the spelling of today's tables when the file writes it the old
// way: cubic symbols without the bar of the 3 ("P m 3 m", "Fd3m", "Ia3d" for Pm-3m, Fd-3m,
// Ia-3d). Returns the full symbol with blanks ("P m -3 m", "F d -3 m:2" keeps a setting suffix
// of the file), or an empty text when the symbol is not such an old one.
std::string cif_space_group_modern_symbol(const std::string& hm);

// Tags that name the space group, in the order a reader tries them.
inline constexpr const char* kCifHmTags[] = {"_symmetry_space_group_name_h-m", "_space_group_name_h-m_alt",
                                             "_space_group_name_h-m_ref", "_space_group_name_h-m_full",
                                             "_symmetry_space_group_name_h-m_alt"};
inline constexpr const char* kCifHallTags[] = {"_symmetry_space_group_name_hall", "_space_group_name_hall"};
inline constexpr const char* kCifNumberTags[] = {"_symmetry_int_tables_number", "_space_group_it_number",
                                                 "_space_group_number", "_symmetry_space_group_number"};
