// Formula sums of a CIF and the composition check of the cell read.
#include "cif-formula.hpp"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "cif-element.hpp"
#include "cif-number.hpp"

bool cif_formula_counts(const std::string& formula, std::map<std::string, double>& counts) {
    counts.clear();
    std::istringstream in(formula);
    std::string word;
    while (in >> word) {
        char symbol[3] = {};
        const long rest = cif_leading_element(word.c_str(), symbol);
        if (!std::isalpha(static_cast<unsigned char>(word[0])) || rest != static_cast<long>(std::string(symbol).size()))
            return false;
        double n = 1.0;
        const std::string count = word.substr(static_cast<std::size_t>(rest));
        if (!count.empty() && (!cif_read_number(count.c_str(), &n) || !(n > 0) || !std::isfinite(n))) return false;
        counts[symbol] += n;
    }
    return !counts.empty();
}

namespace {

std::string composition_text(const std::map<std::string, double>& counts) {
    std::string text;
    for (const auto& [element, n] : counts) {
        char buf[64];
        std::snprintf(buf, sizeof(buf), "%s%s%.4g", text.empty() ? "" : " ", element.c_str(), n);
        text += buf;
    }
    return text;
}

}  // namespace

CifFormulaCheck cif_formula_check(const CifBlock& block, const std::map<std::string, double>& cell,
                                  double tolerance) {
    CifFormulaCheck check;
    const std::string* sum = block.value("_chemical_formula_sum");
    const std::string* z = block.value("_cell_formula_units_z");
    if (sum == nullptr || z == nullptr || cif_is_placeholder(sum->c_str()) || cif_is_placeholder(z->c_str()))
        return check;
    double zn = 0.0;
    std::map<std::string, double> file;
    if (!cif_read_number(z->c_str(), &zn) || !(zn > 0) || !cif_formula_counts(*sum, file)) return check;
    // The worst relative difference of the cell from the formula taken `times` times.
    auto compare = [&](double times, std::string& element_out) {
        std::map<std::string, double> all;
        for (const auto& [element, n] : file) all.emplace(element, 0.0);
        for (const auto& [element, n] : cell)
            if (n > 0) all.emplace(element, 0.0);
        double worst = 0.0;
        for (const auto& [element, unused] : all) {
            (void)unused;
            const auto f = file.find(element);
            const auto c = cell.find(element);
            const double nf = f == file.end() ? 0.0 : f->second * times;
            const double nc = c == cell.end() ? 0.0 : c->second;
            const double diff = nf > 0 ? std::fabs(nc - nf) / nf : (nc > 1e-6 ? 1.0 : 0.0);
            if (diff > worst) {
                worst = diff;
                element_out = element;
            }
        }
        return worst;
    };
    check.worst = compare(zn, check.element);
    // some writers (pymatgen among them) give the whole cell's content as the formula
    std::string element_one;
    if (zn != 1.0 && compare(1.0, element_one) <= tolerance) check.worst = 0.0;
    for (auto& [element, n] : file) n *= zn;
    check.differs = check.worst > tolerance;
    std::map<std::string, double> cell_positive;
    for (const auto& [element, n] : cell)
        if (n > 0) cell_positive[element] = n;
    check.cell = composition_text(cell_positive);
    check.file = composition_text(file);
    return check;
}
