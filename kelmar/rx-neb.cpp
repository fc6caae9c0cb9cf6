// Nudged elastic band: validation and interpolation of the images, tangents, spring and
// perpendicular forces, the climbing phase, and the path and per-image logs.
#include "rx-neb.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "cell-ops.hpp"
#include "cif-write.hpp"
#include "linalg.hpp"
#include "property-assemble.hpp"
#include "rx-energy.hpp"
#include "rx-sd.hpp"

namespace {

double length3(const double v[3]) { return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]); }

// Exchange sort by label, as the band matches atoms by label.
void sort_by_label(KELMAR_CELL* cell) {
    auto& at = cell->atom;
    for (std::size_t i = 0; i < at.size(); i++)
        for (std::size_t j = i + 1; j < at.size(); j++)
            if (std::strcmp(at[j].name, at[i].name) < 0) std::swap(at[i], at[j]);
}

const char* duplicate_label(const KELMAR_CELL* cell) {
    for (std::size_t i = 1; i < cell->atom.size(); i++)
        if (std::strcmp(cell->atom[i].name, cell->atom[i - 1].name) == 0) return cell->atom[i].name;
    return nullptr;
}

KELMAR_VECTOR3_LIST zero_vectors(long n) {
    auto v = std::make_unique<double[][3]>(static_cast<std::size_t>(n));
    for (long i = 0; i < n; i++) v[i][0] = v[i][1] = v[i][2] = 0.0;
    return v;
}

long atom_count(const KELMAR_RX_NEB* rx) { return rx->cell.empty() ? 0 : rx->cell[0]->total(); }

// Total energy and force-field force of one image; atoms of the fixed list feel none.
bool image_energy_and_force(KELMAR_RX_NEB* rx, int k) {
    if (rx->pairs.size() != static_cast<std::size_t>(rx->total)) rx->pairs.resize(static_cast<std::size_t>(rx->total));
    if (!rxlist::energy_and_force(rx->pairs[static_cast<std::size_t>(k)], *rx->cell[k], *rx->ppt, &rx->en[k],
                                  rx->f0[k].get()))
        return false;
    const long n = atom_count(rx);
    for (long i = 0; i < n; i++)
        if (rx->fixed[static_cast<std::size_t>(i)]) rx->f0[k][i][0] = rx->f0[k][i][1] = rx->f0[k][i][2] = 0.0;
    return true;
}

// The climbing image moves up along the path and down in every other direction. "Along the path"
// is the tangent of the whole image (all atoms together): an atom that hardly moves between
// images has a tangent of its own that points anywhere, and reversing its force along that
// direction would drive it uphill for ever instead of letting it relax.
void climb(KELMAR_RX_NEB* rx, int k) {
    const long atoms = atom_count(rx);
    const double* vp = rx->scratch_next.data();
    const double* vm = rx->scratch_prev.data();
    double np = 0.0, nm = 0.0;
    for (long i = 0; i < 3 * atoms; i++) {
        np += vp[i] * vp[i];
        nm += vm[i] * vm[i];
    }
    np = np > 0 ? 1.0 / std::sqrt(np) : 0.0;
    nm = nm > 0 ? 1.0 / std::sqrt(nm) : 0.0;
    double norm = 0.0, along = 0.0;
    for (long i = 0; i < 3 * atoms; i++) {
        const double tau = vp[i] * np - vm[i] * nm;
        norm += tau * tau;
    }
    norm = norm > 0 ? 1.0 / std::sqrt(norm) : 0.0;
    for (long i = 0; i < atoms; i++)
        for (int c = 0; c < 3; c++) along += rx->f0[k][i][c] * (vp[3 * i + c] * np - vm[3 * i + c] * nm) * norm;
    for (long i = 0; i < atoms; i++)
        for (int c = 0; c < 3; c++) {
            const double tau = (vp[3 * i + c] * np - vm[3 * i + c] * nm) * norm;
            rx->f3[k][i][c] = along * tau;
            rx->f1[k][i][c] = rx->f0[k][i][c] - along * tau;
            rx->f[k][i][c] = rx->f1[k][i][c] - rx->f3[k][i][c];
        }
}

// Writes (at step 0) or appends the texts to their files and empties them.
int log_dump(KELMAR_RX_NEB* rx) {
    const bool first = rx->step == 0;
    auto put = [&](KELMAR_TEXT* text, const std::string& name) {
        if (first) {
            if (kelmar_text_export_to_file(text, name.c_str()) != 0) {
                std::fprintf(stderr, "Error: kelmar_text_export_to_file() returns non-zero.\n");
                return false;
            }
        } else if (kelmar_text_append_to_file(text, name.c_str()) != 0) {
            std::fprintf(stderr, "Error: kelmar_text_append_to_file() returns non-zero.\n");
            return false;
        }
        text->content.clear();
        return true;
    };
    if (!put(rx->log_global.get(), rx->log_filename + ".neb-log.txt")) return 1;
    for (int k = 0; k < rx->total; k++)
        if (!put(rx->log[k].get(), rx->log_filename + ".neb-log." + std::to_string(k) + ".txt")) return 1;
    return 0;
}

int cells_export(const KELMAR_RX_NEB* rx) {
    for (int k = 0; k < rx->total; k++) {
        const std::string name = rx->log_filename + ".neb." + std::to_string(k) + ".cif";
        if (kelmar_cell_export_cif_to_file(name.c_str(), rx->cell[k].get(), nullptr) != 0) {
            std::fprintf(stderr, "Error: kelmar_cell_export_cif_to_file() returns non-zero.\n");
            return 1;
        }
    }
    return 0;
}

void log_header(KELMAR_RX_NEB* rx) {
    const long n = atom_count(rx);
    KELMAR_TEXT* g = rx->log_global.get();
    kelmar_text_appendf(g, "total_images = %d, step_limit = %ld, f_conv = %.6f\n", rx->total, rx->step_limit,
                        rx->f_conv);
    kelmar_text_appendf(g, "%6s", "step");
    for (int k = 0; k < rx->total; k++) kelmar_text_appendf(g, ", en[%4d]", k);
    kelmar_text_append(g, "\n");
    for (int k = 0; k < rx->total; k++) {
        KELMAR_TEXT* t = rx->log[k].get();
        kelmar_text_appendf(t, "image_index = %d, total_atom = %ld\n", k, n);
        kelmar_text_appendf(t, "%6s", "step");
        kelmar_text_appendf(t, ",%9s", "en");
        for (long i = 0; i < n; i++) kelmar_text_appendf(t, ",  f[%4ld]", i);
        for (long i = 0; i < n; i++) kelmar_text_appendf(t, ",f_t[%4ld]", i);
        for (long i = 0; i < n; i++) kelmar_text_appendf(t, ",f_s[%4ld]", i);
        kelmar_text_append(t, "\n");
    }
}

void log_append(KELMAR_RX_NEB* rx) {
    const long n = atom_count(rx);
    KELMAR_TEXT* g = rx->log_global.get();
    kelmar_text_appendf(g, "%6ld", rx->step);
    for (int k = 0; k < rx->total; k++) kelmar_text_appendf(g, ",%9.4f", rx->en[k]);
    kelmar_text_append(g, "\n");
    for (int k = 0; k < rx->total; k++) {
        KELMAR_TEXT* t = rx->log[k].get();
        kelmar_text_appendf(t, "%6ld", rx->step);
        kelmar_text_appendf(t, ",%9.4f", rx->en[k]);
        for (long i = 0; i < n; i++) kelmar_text_appendf(t, ",%9.4f", length3(rx->f[k][i]));
        for (long i = 0; i < n; i++) kelmar_text_appendf(t, ",%9.4f", length3(rx->f0[k][i]));
        for (long i = 0; i < n; i++) kelmar_text_appendf(t, ",%9.4f", length3(rx->f2[k][i]));
        kelmar_text_append(t, "\n");
    }
}

// Writes the logs and the image files now, whatever the step (the last state of a run).
int log_flush(KELMAR_RX_NEB* rx) {
    if (rx->step_log < 0) return 0;
    if (log_dump(rx) != 0) {
        std::fprintf(stderr, "Error: kelmar_rx_neb_log_dump() returns non-zero.\n");
        return 1;
    }
    if (cells_export(rx) != 0) {
        std::fprintf(stderr, "Error: kelmar_rx_neb_cells_export_to_file() returns non-zero.\n");
        return 1;
    }
    return 0;
}

}  // namespace

void kelmar_cell_min_vector_btw_atoms(double dir[3], const KELMAR_CELL* cell, const KELMAR_ATOM* atom1,
                                      const KELMAR_ATOM* atom2) {
    double best[3];
    for (int c = 0; c < 3; c++) best[c] = atom2->x[c] - atom1->x[c];
    double best2 = best[0] * best[0] + best[1] * best[1] + best[2] * best[2];
    for (int i = -1; i <= 1; i++)
        for (int j = -1; j <= 1; j++)
            for (int k = -1; k <= 1; k++) {
                double v[3];
                for (int c = 0; c < 3; c++)
                    v[c] = atom2->x[c] - (atom1->x[c] + i * cell->a[0][c] + j * cell->a[1][c] + k * cell->a[2][c]);
                const double d2 = v[0] * v[0] + v[1] * v[1] + v[2] * v[2];
                if (d2 < best2) {
                    best2 = d2;
                    for (int c = 0; c < 3; c++) best[c] = v[c];
                }
            }
    for (int c = 0; c < 3; c++) dir[c] = best[c];
}

int kelmar_rx_neb_validate(KELMAR_CELL* cell_i, KELMAR_CELL* cell_f) {
    if (cell_i == nullptr || cell_f == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_CELL has not been properly initialized.\n");
        return 1;
    }
    if (cell_i->total() != cell_f->total()) {
        std::fprintf(stderr, "Error: total numbers of atoms mismatch.\n");
        return 1;
    }
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 3; c++)
            if (!(std::fabs(cell_i->a[r][c] - cell_f->a[r][c]) <= 0.001)) {
                std::fprintf(stderr, "Error: lattice parameters mismatch.\n");
                return 1;
            }
    sort_by_label(cell_i);
    sort_by_label(cell_f);
    if (const char* d = duplicate_label(cell_i)) {
        std::fprintf(stderr, "Error: duplicate atom names detected in 1st cell, %s.\n", d);
        return 1;
    }
    if (const char* d = duplicate_label(cell_f)) {
        std::fprintf(stderr, "Error: duplicate atom names detected in 2nd cell, %s.\n", d);
        return 1;
    }
    for (std::size_t i = 0; i < cell_i->atom.size(); i++)
        if (std::strcmp(cell_i->atom[i].name, cell_f->atom[i].name) != 0) {
            std::fprintf(stderr, "Error: atom name mismatch %s and %s.\n", cell_i->atom[i].name, cell_f->atom[i].name);
            return 1;
        }
    return 0;
}

int kelmar_rx_neb_validate_images(std::vector<std::unique_ptr<KELMAR_CELL>>& cells, int n) {
    if (n < 1 || cells.size() < static_cast<std::size_t>(n)) {
        std::fprintf(stderr, "Error: KELMAR_CELL has not been properly initialized.\n");
        return 1;
    }
    for (int i = 1; i < n; i++)
        if (kelmar_rx_neb_validate(cells[0].get(), cells[i].get()) != 0) {
            std::fprintf(stderr, "Error: cell [%d] fails the validation.\n", i);
            return 1;
        }
    return 0;
}

std::vector<std::unique_ptr<KELMAR_CELL>> kelmar_cell_interpolate(const KELMAR_CELL* cell_i,
                                                                  const KELMAR_CELL* cell_f, int n) {
    std::vector<std::unique_ptr<KELMAR_CELL>> out;
    if (n < 3 || cell_i == nullptr || cell_f == nullptr || cell_i->total() != cell_f->total()) return out;
    for (std::size_t i = 0; i < cell_i->atom.size(); i++) {
        const KELMAR_ATOM& a = cell_i->atom[i];
        const KELMAR_ATOM& b = cell_f->atom[i];
        if (std::strcmp(a.type, b.type) != 0 || a.os != b.os) {
            std::fprintf(stderr, "Error: mismatched element type or os in end images at atom[%ld].\n",
                         static_cast<long>(i));
            return out;
        }
    }
    for (int k = 0; k < n; k++) {
        auto c = kelmar_cell_copy(k < n - 1 ? cell_i : cell_f);
        if (c == nullptr) {
            std::fprintf(stderr, "Error: kelmar_cell_copy() returns NULL at cell[%d].\n", k);
            out.clear();
            return out;
        }
        out.push_back(std::move(c));
    }
    for (int k = 1; k < n - 1; k++) {
        KELMAR_CELL* c = out[static_cast<std::size_t>(k)].get();
        const double w = static_cast<double>(k) / (n - 1);
        for (std::size_t i = 0; i < c->atom.size(); i++) {
            double v[3];
            kelmar_cell_min_vector_btw_atoms(v, cell_i, &cell_i->atom[i], &cell_f->atom[i]);
            for (int m = 0; m < 3; m++) c->atom[i].x[m] = cell_i->atom[i].x[m] + w * v[m];
        }
        kelmar_cell_update_coordinate_fractional(c);
        kelmar_cell_bound_fractional(c);
        kelmar_cell_update_coordinate_cartesion(c);
    }
    return out;
}

std::unique_ptr<KELMAR_RX_NEB> kelmar_rx_neb_new(KELMAR_CELL* cell_i, KELMAR_CELL* cell_f,
                                                 const KELMAR_PROPERTY* ppt, int n) {
    if (n < 3) {
        std::fprintf(stderr, "Error: number of images must be larger than 2.\n");
        return nullptr;
    }
    if (cell_i == nullptr || cell_f == nullptr || ppt == nullptr || cell_i->atom.empty()) {
        std::fprintf(stderr, "Error: KELMAR_CELL or KELMAR_PROPERTY has not been properly initialized.\n");
        return nullptr;
    }
    if (kelmar_rx_neb_validate(cell_i, cell_f) != 0) {
        std::fprintf(stderr, "Error: kelmar_rx_neb_validate() returns non-zero.\n");
        return nullptr;
    }
    auto rx = std::make_unique<KELMAR_RX_NEB>();
    rx->cell = kelmar_cell_interpolate(cell_i, cell_f, n);
    if (rx->cell.empty()) {
        std::fprintf(stderr, "Error: kelmar_cell_interpolate() returns NULL.\n");
        return nullptr;
    }
    rx->ppt = kelmar_property_copy(ppt);
    if (rx->ppt == nullptr) {
        std::fprintf(stderr, "Error: kelmar_property_copy() returns NULL.\n");
        return nullptr;
    }
    rx->total = n;
    const long atoms = cell_i->total();
    // Fixed marks of the first structure are taken over; the band's own cells carry none, so that
    // their energies are those of the whole cell.
    rx->fixed.assign(static_cast<std::size_t>(atoms), false);
    for (long i = 0; i < atoms; i++) rx->fixed[static_cast<std::size_t>(i)] = cell_i->atom[static_cast<std::size_t>(i)].ignored;
    for (auto& c : rx->cell)
        for (auto& a : c->atom) a.ignored = false;
    rx->conv.assign(static_cast<std::size_t>(n), false);
    rx->conv[0] = rx->conv[static_cast<std::size_t>(n - 1)] = true;
    rx->ci_image.assign(static_cast<std::size_t>(n), false);
    rx->en.assign(static_cast<std::size_t>(n), 0.0);
    for (auto* list : {&rx->t, &rx->f, &rx->f0, &rx->f1, &rx->f2, &rx->f3, &rx->dx})
        for (int k = 0; k < n; k++) list->push_back(zero_vectors(atoms));
    rx->scratch_next.assign(static_cast<std::size_t>(3 * atoms), 0.0);
    rx->scratch_prev.assign(static_cast<std::size_t>(3 * atoms), 0.0);
    rx->log_global = kelmar_text_new();
    for (int k = 0; k < n; k++) rx->log.push_back(kelmar_text_new());
    return rx;
}

std::unique_ptr<KELMAR_RX_NEB> kelmar_rx_neb_new_from_images(std::vector<std::unique_ptr<KELMAR_CELL>>& cells, int n,
                                                             const KELMAR_PROPERTY* ppt) {
    if (n < 3 || cells.size() < static_cast<std::size_t>(n)) {
        std::fprintf(stderr, "Error: number of images must be larger than 2.\n");
        return nullptr;
    }
    for (int i = 0; i < n; i++)
        if (cells[static_cast<std::size_t>(i)] == nullptr) {
            std::fprintf(stderr, "Error: KELMAR_CELL or KELMAR_PROPERTY has not been properly initialized.\n");
            return nullptr;
        }
    if (kelmar_rx_neb_validate_images(cells, n) != 0) {
        std::fprintf(stderr, "Error: kelmar_rx_neb_validate_images() returns non-zero.\n");
        return nullptr;
    }
    auto rx = kelmar_rx_neb_new(cells[0].get(), cells[static_cast<std::size_t>(n - 1)].get(), ppt, n);
    if (rx == nullptr) {
        std::fprintf(stderr, "Error: kelmar_rx_neb_new() returns NULL.\n");
        return nullptr;
    }
    for (int k = 1; k < n - 1; k++) {
        auto c = kelmar_cell_copy(cells[static_cast<std::size_t>(k)].get());
        if (c == nullptr) {
            std::fprintf(stderr, "Error: kelmar_cell_copy() returns NULL at cell[%d].\n", k);
            return nullptr;
        }
        for (auto& a : c->atom) a.ignored = false;
        rx->cell[static_cast<std::size_t>(k)] = std::move(c);
    }
    return rx;
}

int kelmar_rx_neb_calculate_forces(KELMAR_RX_NEB* rx) {
    if (rx == nullptr || rx->cell.empty() || rx->ppt == nullptr) {
        std::fprintf(stderr, "Error: some input vectors have not been allocated.\n");
        return 1;
    }
    const int n = rx->total;
    const long atoms = atom_count(rx);
    // End images never move: their energies and forces are computed once.
    const bool first = rx->step <= 1 || rx->en[0] == 0.0;
    for (int k = 0; k < n; k++) {
        const bool end = k == 0 || k == n - 1;
        if (end && !first) continue;
        if (!image_energy_and_force(rx, k)) {
            std::fprintf(stderr, "Error: kelmar_rx_neb_calculate_forces() returns non-zero.\n");
            return 1;
        }
        if (rx->en[k] == 0.0) {
            std::fprintf(stderr, "Error: kelmar_cell_calculate_total_energy() returns 0.0.\n");
            return 1;
        }
    }
    for (int k = 1; k < n - 1; k++) {
        const KELMAR_CELL* prev = rx->cell[k - 1].get();
        const KELMAR_CELL* cur = rx->cell[k].get();
        const KELMAR_CELL* next = rx->cell[k + 1].get();
        // Shortest vectors to the same atom in the next and the previous image.
        double* vp = rx->scratch_next.data();
        double* vm = rx->scratch_prev.data();
        for (long i = 0; i < atoms; i++) {
            const auto idx = static_cast<std::size_t>(i);
            kelmar_cell_min_vector_btw_atoms(vp + 3 * i, cur, &cur->atom[idx], &next->atom[idx]);
            kelmar_cell_min_vector_btw_atoms(vm + 3 * i, cur, &cur->atom[idx], &prev->atom[idx]);
        }
        for (long i = 0; i < atoms; i++) {
            double up[3], um[3], t[3];
            kelmar_vector3_double_normalize(up, vp + 3 * i);
            // u- points from image k-1 to image k.
            const double back[3] = {-vm[3 * i], -vm[3 * i + 1], -vm[3 * i + 2]};
            kelmar_vector3_double_normalize(um, back);
            const double sum[3] = {up[0] + um[0], up[1] + um[1], up[2] + um[2]};
            kelmar_vector3_double_normalize(t, sum);
            for (int c = 0; c < 3; c++) rx->t[k][i][c] = t[c];
            const double* f0 = rx->f0[k][i];
            const double along = kelmar_vector3_double_dot(f0, t);
            double s[3];
            for (int c = 0; c < 3; c++) {
                rx->f3[k][i][c] = along * t[c];
                rx->f1[k][i][c] = f0[c] - along * t[c];
                s[c] = vp[3 * i + c] + vm[3 * i + c];
            }
            const double st = kelmar_vector3_double_dot(s, t);
            for (int c = 0; c < 3; c++) {
                rx->f2[k][i][c] = rx->k * st * t[c];
                rx->f[k][i][c] = rx->f1[k][i][c] + rx->f2[k][i][c];
            }
        }
        if (rx->ci_active && rx->ci_image[static_cast<std::size_t>(k)]) climb(rx, k);
    }
    return 0;
}

int kelmar_rx_neb_update_coordinate(KELMAR_RX_NEB* rx) {
    for (int k = 1; k < rx->total - 1; k++) {
        if (kelmar_cell_calculate_coordinate_step_size_simple(rx->dx[k].get(), rx->cell[k].get(), rx->ppt.get(),
                                                              rx->f[k].get()) != 0) {
            std::fprintf(stderr, "Error: kelmar_cell_calculate_coordinate_step_size_simple() returns non-zero at cell[%d]\n", k);
            return 1;
        }
        if (kelmar_cell_update_coordinate(rx->cell[k].get(), rx->dx[k].get()) != 0) {
            std::fprintf(stderr, "Error: kelmar_cell_update_coordinate() returns non-zero at cell[%d]\n", k);
            return 1;
        }
    }
    return 0;
}

int kelmar_rx_neb_log(KELMAR_RX_NEB* rx) {
    if (rx->step_log < 0) return 0;
    if (rx->step_log == 0) rx->step_log = 50;
    if (rx->step == 0) log_header(rx);
    else log_append(rx);
    if (rx->step % rx->step_log == 0 || rx->converged) return log_flush(rx);
    return 0;
}

int kelmar_rx_neb_run(KELMAR_RX_NEB* rx) {
    if (rx == nullptr || rx->cell.empty() || rx->ppt == nullptr) {
        std::fprintf(stderr, "Error: KELMAR_RX_NEB has not been properly initialized.\n");
        return 1;
    }
    const int n = rx->total;
    if (rx->relax) {
        for (int k : {0, n - 1}) {
            std::printf("Message: relaxing image [%3d]...\n", k);
            KELMAR_CELL* end = rx->cell[static_cast<std::size_t>(k)].get();
            for (std::size_t i = 0; i < end->atom.size(); i++) end->atom[i].ignored = rx->fixed[i];
            auto relaxed = kelmar_cell_relax_sd(end, rx->ppt.get(), 0, 0, rx->f_conv, 0.0);
            for (auto& a : end->atom) a.ignored = false;
            if (relaxed == nullptr) {
                std::fprintf(stderr, "Error: kelmar_cell_relax_sd() returns non-zero.\n");
                return 1;
            }
            for (auto& a : relaxed->atom) a.ignored = false;
            rx->cell[static_cast<std::size_t>(k)] = std::move(relaxed);
        }
    }
    for (int k : {0, n - 1}) {
        rx->en[k] = kelmar_cell_calculate_total_energy(rx->cell[k].get(), rx->ppt.get());
        if (rx->en[k] == 0.0) {
            if (k == 0) std::fprintf(stderr, "Error: kelmar_cell_calculate_total_energy() returns 0.0 at cell[0].\n");
            else std::fprintf(stderr, "Error: kelmar_cell_calculate_total_energy() returns 0.0 at cell[%d].\n", k);
            return 1;
        }
    }
    if (kelmar_rx_neb_log(rx) != 0) {
        std::fprintf(stderr, "Error: kelmar_rx_neb_log() returns non-zero.\n");
        return 1;
    }
    std::printf("Message: starting NEB calculation...\n");
    while (!rx->converged) {
        rx->step += 1;
        if (rx->step_limit > 0 && rx->step > rx->step_limit) {
            std::printf("Warning: step limit reached without achieving convergence.\n");
            // The last state is written whatever the dump interval, so the run's result is kept.
            return log_flush(rx);
        }
        if (kelmar_rx_neb_calculate_forces(rx) != 0) {
            std::fprintf(stderr, "Error: kelmar_rx_neb_calculate_force() returns non-zero.\n");
            return 1;
        }
        const long atoms = atom_count(rx);
        bool all = true;
        for (int k = 1; k < n - 1; k++) {
            if (!rx->conv[static_cast<std::size_t>(k)]) {
                bool ok = true;
                for (long i = 0; i < atoms && ok; i++) ok = length3(rx->f[k][i]) <= rx->f_conv;
                rx->conv[static_cast<std::size_t>(k)] = ok;
            }
            all = all && rx->conv[static_cast<std::size_t>(k)];
        }
        rx->converged = all;
        if (rx->ci && !rx->ci_active && rx->converged) {
            std::printf("RX_NEB: climbing image mode triggered at step %ld.\n", rx->step);
            rx->ci_active = true;
            rx->converged = false;
            rx->step_ci_start = rx->step;
            rx->f_conv = rx->f_conv_ci;
            for (int k = 1; k < n - 1; k++)
                rx->ci_image[static_cast<std::size_t>(k)] = rx->en[k] > rx->en[k - 1] && rx->en[k] > rx->en[k + 1];
        }
        if (rx->converged) {
            std::printf("RX_NEB: convergence reached.\n");
        } else {
            if (kelmar_rx_neb_update_coordinate(rx) != 0) {
                std::fprintf(stderr, "Error: kelmar_rx_neb_update_coordinate() returns non-zero.\n");
                return 1;
            }
            for (int k = 1; k < n - 1; k++) rx->conv[static_cast<std::size_t>(k)] = false;
        }
        std::printf("RX_NEB: [%3ld] en:", rx->step);
        for (int k = 0; k < n; k++) std::printf(" %7.3f", rx->en[k]);
        std::printf("\n");
        if (kelmar_rx_neb_log(rx) != 0) {
            std::fprintf(stderr, "Error: kelmar_rx_neb_log() returns non-zero.\n");
            return 1;
        }
    }
    return 0;
}

namespace {

int relax_band(KELMAR_RX_NEB* rx, long step_limit, long step_log, bool relax, bool ci, double f_conv, double k,
               const char* filename) {
    rx->step_limit = step_limit;
    rx->step_log = step_log;
    rx->relax = relax;
    rx->ci = ci;
    rx->f_conv = f_conv > 0 ? f_conv : 0.005;
    rx->f_conv_ci = rx->f_conv / 2;
    rx->k = k > 0 ? k : 0.5;
    rx->log_filename = filename != nullptr ? filename : "neb_default";
    if (kelmar_rx_neb_run(rx) != 0) {
        std::fprintf(stderr, "Error: kelmar_rx_neb_run() returns non-zero.\n");
        return 1;
    }
    return 0;
}

}  // namespace

int kelmar_cell_relax_neb(KELMAR_CELL* cell_i, KELMAR_CELL* cell_f, const KELMAR_PROPERTY* ppt, int n,
                          long step_limit, long step_log, bool relax, bool ci, double f_conv, double k,
                          const char* filename) {
    auto rx = kelmar_rx_neb_new(cell_i, cell_f, ppt, n);
    if (rx == nullptr) {
        std::fprintf(stderr, "Error: kelmar_rx_neb_new() returns NULL.\n");
        return 1;
    }
    return relax_band(rx.get(), step_limit, step_log, relax, ci, f_conv, k, filename);
}

int kelmar_cell_relax_neb_images(std::vector<std::unique_ptr<KELMAR_CELL>>& cells, int n, const KELMAR_PROPERTY* ppt,
                                 long step_limit, long step_log, bool relax, bool ci, double f_conv, double k,
                                 const char* filename) {
    auto rx = kelmar_rx_neb_new_from_images(cells, n, ppt);
    if (rx == nullptr) {
        std::fprintf(stderr, "Error: kelmar_rx_neb_new() returns NULL.\n");
        return 1;
    }
    return relax_band(rx.get(), step_limit, step_log, relax, ci, f_conv, k, filename);
}
