// Creation, copying and printing of the crystal records.
#include "kelmar.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

void kelmar_copy_field(char* dst, std::size_t size, const char* src) {
    if (size == 0) return;
    if (src == nullptr) {
        dst[0] = '\0';
        return;
    }
    std::size_t n = std::strlen(src);
    if (n > size - 1) n = size - 1;
    std::memmove(dst, src, n);
    dst[n] = '\0';
}

void kelmar_atom_print(const KELMAR_ATOM* atom) {
    if (atom == nullptr) {
        std::printf("ATOM: (not allocated)\n");
        return;
    }
    std::printf("ATOM: name=%6s;type=%2s;os=%2d;x_f=(%5.3f,%5.3f,%5.3f);occ=%5.3f; flag=%ld;ignored=%d\n",
                atom->name, atom->type, atom->os, atom->x_f[0], atom->x_f[1], atom->x_f[2], atom->occ,
                atom->flag, atom->ignored ? 1 : 0);
}

std::unique_ptr<KELMAR_CELL> kelmar_cell_new(long n) {
    auto cell = std::make_unique<KELMAR_CELL>();
    if (n > 0) cell->atom.resize(static_cast<std::size_t>(n));
    return cell;
}

std::unique_ptr<KELMAR_CELL> kelmar_cell_copy(const KELMAR_CELL* cell) {
    if (cell == nullptr) return nullptr;
    return std::make_unique<KELMAR_CELL>(*cell);
}

void kelmar_cell_print(const KELMAR_CELL* cell) {
    if (cell == nullptr) {
        std::printf("CELL: (not allocated)\n");
        return;
    }
    std::printf("CELL: name: %s\n", cell->name);
    std::printf("CELL: vector matrix:\n");
    for (int i = 0; i < 3; i++)
        std::printf("CELL:            %11.6f %11.6f %11.6f\n", cell->a[i][0], cell->a[i][1], cell->a[i][2]);
    std::printf("CELL: parameters: %11.6f %11.6f %11.6f\n", cell->parameter[0], cell->parameter[1],
                cell->parameter[2]);
    std::printf("CELL: angles:     %11.6f %11.6f %11.6f\n", cell->angle[0], cell->angle[1], cell->angle[2]);
    std::printf("CELL: total atom: %ld\n", cell->total());
    for (long i = 0; i < cell->total(); i++) {
        std::printf("CELL: [%3ld]", i);
        kelmar_atom_print(&cell->atom[static_cast<std::size_t>(i)]);
    }
}

int kelmar_cell_update_name(KELMAR_CELL* cell) {
    if (cell == nullptr || cell->atom.empty()) {
        std::fprintf(stderr, "Error: KELMAR_CELL has not been initialized.\n");
        return 1;
    }
    std::memset(cell->name, 0, sizeof(cell->name));
    std::size_t used = 0;
    double sum = 0.0;
    const std::size_t n = cell->atom.size();
    for (std::size_t i = 0; i < n; i++) {
        const KELMAR_ATOM& at = cell->atom[i];
        sum += at.occ;
        const bool last = (i + 1 == n);
        if (last || std::strcmp(at.type, cell->atom[i + 1].type) != 0 || at.os != cell->atom[i + 1].os) {
            char group[64];
            const long os = at.os;  // INT_MIN has no int absolute value
            std::snprintf(group, sizeof(group), "%s%ld%c:%.3f ", at.type, os < 0 ? -os : os, os < 0 ? '-' : '+',
                          sum);
            // The label never grows beyond 127 characters; later groups are cut.
            const std::size_t room = sizeof(cell->name) - 1 - used;
            const std::size_t len = std::strlen(group);
            const std::size_t take = len < room ? len : room;
            std::memcpy(cell->name + used, group, take);
            used += take;
            cell->name[used] = '\0';
            sum = 0.0;
        }
    }
    return 0;
}

void kelmar_cell_refresh(KELMAR_CELL* cell) {
    if (cell == nullptr) return;
    for (auto& at : cell->atom) {
        at.flag = 0;
        at.value = 0.0;
        at.ignored = false;
    }
}

void kelmar_card_print(const KELMAR_CARD* card) {
    if (card == nullptr) {
        std::printf("CARD: (not allocated)\n");
        return;
    }
    std::printf("CARD: text:%s\n", card->text);
    for (int i = 0; i < 3; i++)
        std::printf("CARD:  %6.3f %6.3f %6.3f      %6.3f\n", card->r_f[i][0], card->r_f[i][1], card->r_f[i][2],
                    card->t_f[i]);
}

void kelmar_card_print_discrete(const KELMAR_CARD* card) {
    if (card == nullptr) {
        std::printf("CARD: (not allocated)\n");
        return;
    }
    std::printf("CARD: text:%s\n", card->text);
    for (int i = 0; i < 3; i++)
        std::printf("CARD:  %2d %2d %2d      %ld\n", card->r_i[i][0], card->r_i[i][1], card->r_i[i][2], card->t_i[i]);
}

std::unique_ptr<KELMAR_SYMMETRY> kelmar_symmetry_new(int n) {
    auto sym = std::make_unique<KELMAR_SYMMETRY>();
    if (n > 0) sym->card.resize(static_cast<std::size_t>(n));
    return sym;
}

std::unique_ptr<KELMAR_SYMMETRY> kelmar_symmetry_new_p1() {
    auto sym = kelmar_symmetry_new(1);
    KELMAR_CARD& c = sym->card[0];
    kelmar_copy_field(c.text, "x, y, z");
    for (int i = 0; i < 3; i++) c.r_f[i][i] = 1.0;
    kelmar_copy_field(sym->sg_HM, "P 1");
    kelmar_copy_field(sym->sg_Hall, "P 1");
    sym->sg_id = 1;
    return sym;
}

static void symmetry_print_header(const KELMAR_SYMMETRY* symmetry) {
    std::printf("SYMMETRY: Hermann-Maugui group symbol: %s\n", symmetry->sg_HM);
    std::printf("SYMMETRY: Hall group symbol: %s\n", symmetry->sg_Hall);
    std::printf("SYMMETRY: International Table ID: %d\n", symmetry->sg_id);
    std::printf("SYMMETRY: Total number of cards: %d\n", symmetry->total());
}

void kelmar_symmetry_print(const KELMAR_SYMMETRY* symmetry) {
    if (symmetry == nullptr || symmetry->card.empty()) {
        std::printf("SYMMETRY: (not allocated)\n");
        return;
    }
    symmetry_print_header(symmetry);
    for (const auto& c : symmetry->card) kelmar_card_print(&c);
}

void kelmar_symmetry_print_discrete(const KELMAR_SYMMETRY* symmetry) {
    if (symmetry == nullptr || symmetry->card.empty()) {
        std::printf("SYMMETRY: (not allocated)\n");
        return;
    }
    symmetry_print_header(symmetry);
    for (const auto& c : symmetry->card) kelmar_card_print_discrete(&c);
}
