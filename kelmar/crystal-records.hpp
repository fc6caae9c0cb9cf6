// Creation, copying and printing of the crystal records.
#pragma once

#include <cstddef>
#include <memory>

struct KELMAR_ATOM;
struct KELMAR_CELL;
struct KELMAR_CARD;
struct KELMAR_SYMMETRY;

// Copies at most size-1 characters of src into a fixed field and terminates it.
void kelmar_copy_field(char* dst, std::size_t size, const char* src);
template <std::size_t N>
inline void kelmar_copy_field(char (&dst)[N], const char* src) {
    kelmar_copy_field(dst, N, src);
}

void kelmar_atom_print(const KELMAR_ATOM* atom);

// A zeroed cell; with n > 0 also n zero-filled atoms.
std::unique_ptr<KELMAR_CELL> kelmar_cell_new(long n);
std::unique_ptr<KELMAR_CELL> kelmar_cell_copy(const KELMAR_CELL* cell);
void kelmar_cell_print(const KELMAR_CELL* cell);
// Rebuilds the composition label from atoms sorted by type and oxidation state; 0 or 1.
int kelmar_cell_update_name(KELMAR_CELL* cell);
// Clears flag, value and ignored of every atom.
void kelmar_cell_refresh(KELMAR_CELL* cell);

void kelmar_card_print(const KELMAR_CARD* card);
void kelmar_card_print_discrete(const KELMAR_CARD* card);

// A zeroed setting; with n > 0 also n zeroed cards.
std::unique_ptr<KELMAR_SYMMETRY> kelmar_symmetry_new(int n);
std::unique_ptr<KELMAR_SYMMETRY> kelmar_symmetry_new_p1();
void kelmar_symmetry_print(const KELMAR_SYMMETRY* symmetry);
void kelmar_symmetry_print_discrete(const KELMAR_SYMMETRY* symmetry);
