// The extension kelmar._core: the pybind11 bindings of the structure, bond-valence, landscape,
// site-graph and kMC calls (kelmar-py-calls.hpp). Every call runs without the GIL and with the
// console captured; a failed call raises KelmarError with the engines' "Error:" lines. The
// package around it (python/kelmar/__init__.py) turns the captured text into logging or output.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <stdexcept>
#include <utility>

#include "console-capture.hpp"
#include "kelmar-py-calls.hpp"

namespace py = pybind11;
using namespace kelmar_py;

namespace {

struct EngineFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// What the last call printed, for the package to report.
pyconsole::ConsoleText& last_console() {
    static pyconsole::ConsoleText text;
    return text;
}

// Runs body (returning bool) without the GIL and with the console captured; throws on failure.
template <typename Body>
void engine_call(Body&& body) {
    pyconsole::ConsoleText text;
    bool ok = false;
    {
        py::gil_scoped_release release;
        pyconsole::ConsoleCapture capture;
        try {
            ok = body();
        } catch (...) {
            text = capture.finish();
            last_console() = text;
            throw;
        }
        text = capture.finish();
    }
    last_console() = text;
    if (!ok) {
        const std::string message = pyconsole::error_lines(text);
        throw EngineFailure(message.empty() ? "Error: the call failed." : message);
    }
}

py::array_t<double> matrix(const std::vector<double>& v, long rows, long cols) {
    py::array_t<double> a({rows, cols});
    std::copy(v.begin(), v.end(), a.mutable_data());
    return a;
}

py::dict site_dict(const SiteTable& t) {
    py::dict d;
    const long n = static_cast<long>(t.label.size());
    d["label"] = t.label;
    d["element"] = t.element;
    d["frac"] = matrix(t.frac, n, 3);
    d["cart"] = matrix(t.cart, n, 3);
    d["occupancy"] = py::array_t<double>(n, t.occ.data());
    d["state"] = py::array_t<int>(n, t.os.data());
    d["state_default"] = std::vector<bool>(t.os_default);
    py::array_t<double> lat({3, 3});
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) lat.mutable_at(r, c) = t.lattice[r][c];
    d["lattice"] = lat;
    return d;
}

py::object optional_energy(double e) { return e < 0.0 ? py::object(py::none()) : py::object(py::float_(e)); }

}  // namespace

PYBIND11_MODULE(_core, m) {
    m.doc() = "C++ engines of kelmar (bond-valence analysis of ionic crystals).";
    py::register_exception<EngineFailure>(m, "KelmarError", PyExc_RuntimeError);

    m.def("set_data_files", [](std::string unitary, std::string binary, std::string symcards) {
        data_files() = DataFiles{std::move(unitary), std::move(binary), std::move(symcards)};
    });
    m.def("last_output", []() { return py::make_tuple(last_console().out, last_console().err); },
          "(stdout, stderr) text of the last engine call.");

    py::class_<PyStructure>(m, "CoreStructure")
        .def_readonly("name", &PyStructure::name)
        .def_readonly("cif_text", &PyStructure::text)
        .def("sites", [](const PyStructure& s) { return site_dict(site_table(*s.cell)); },
             "Atoms as read: labels, elements, positions, occupancies and states (defaults marked).")
        .def("settled_sites",
             [](const PyStructure& s) {
                 SiteTable t;
                 engine_call([&] { return settled_sites(&t, s); });
                 return site_dict(t);
             })
        .def("bond_valence_sums",
             [](const PyStructure& s) {
                 BondValenceTable t;
                 engine_call([&] { return bond_valence_table(&t, s); });
                 py::dict d;
                 d["label"] = t.label;
                 d["element"] = t.element;
                 d["state"] = t.os;
                 d["occupancy"] = t.occ;
                 d["multiplicity"] = t.multiplicity;
                 d["sum"] = py::array_t<double>(static_cast<long>(t.sum.size()), t.sum.data());
                 d["gii"] = t.gii;
                 return d;
             })
        .def("write_cif",
             [](const PyStructure& s, const std::string& path) {
                 engine_call([&] { return write_structure_cif(s, path); });
             })
        .def("space_group_operations", [](const PyStructure& s) {
            std::vector<std::string> ops;
            if (s.symmetry)
                for (const KELMAR_CARD& c : s.symmetry->card) ops.emplace_back(c.text);
            return ops;
        });

    m.def("read_cif_file", [](const std::string& path) {
        auto s = std::make_unique<PyStructure>();
        engine_call([&] { return read_structure_file(s.get(), path); });
        return s;
    });
    m.def("read_cif_text", [](const std::string& text, const std::string& name) {
        auto s = std::make_unique<PyStructure>();
        engine_call([&] { return read_structure_text(s.get(), text, name); });
        return s;
    });

    py::class_<PyLandscape>(m, "CoreLandscape")
        .def_property_readonly("energies",
                               [](py::object self) {
                                   auto& land = self.cast<PyLandscape&>();
                                   const auto* n = land.cube->n;
                                   const py::ssize_t s = sizeof(double);
                                   // a view of the grid, kept alive by the landscape
                                   return py::array_t<double>({n[0], n[1], n[2]}, {n[1] * n[2] * s, n[2] * s, s},
                                                              land.cube->en.data.data(), self);
                               })
        .def_property_readonly("shape",
                               [](const PyLandscape& l) {
                                   return py::make_tuple(l.cube->n[0], l.cube->n[1], l.cube->n[2]);
                               })
        .def_property_readonly("cell",
                               [](const PyLandscape& l) {
                                   py::array_t<double> a({3, 3});
                                   for (int r = 0; r < 3; ++r)
                                       for (int c = 0; c < 3; ++c) a.mutable_at(r, c) = l.cube->a[r][c];
                                   return a;
                               })
        .def_property_readonly("screening_factor", [](const PyLandscape& l) { return l.ppt->sf; })
        .def_property_readonly("ion", [](const PyLandscape& l) { return std::string(l.type); })
        .def_property_readonly("charge", [](const PyLandscape& l) { return l.os; })
        .def_property_readonly("resolution", [](const PyLandscape& l) { return l.resolution; })
        .def_property_readonly("model", [](const PyLandscape& l) { return l.model; })
        .def_property_readonly("assigned", [](const PyLandscape& l) { return l.assigned; })
        .def_property_readonly("structure_cif_text", [](const PyLandscape& l) { return l.source.text; })
        .def("write_cube",
             [](const PyLandscape& l, const std::string& path, bool periodic) {
                 engine_call([&] { return write_landscape_cube(l, path, periodic); });
             },
             py::arg("path"), py::arg("periodic") = true)
        .def("percolation",
             [](const PyLandscape& l, double barrier_max) {
                 LandscapeNetworkEnergies e;
                 engine_call([&] { return landscape_percolation(&e, l, barrier_max); });
                 py::dict d;
                 d["1D"] = optional_energy(e.e1);
                 d["2D"] = optional_energy(e.e2);
                 d["3D"] = optional_energy(e.e3);
                 d["loop"] = optional_energy(e.el);
                 d["ranges"] = py::dict(py::arg("1D") = py::make_tuple(e.e1_min, e.e1_max),
                                        py::arg("2D") = py::make_tuple(e.e2_min, e.e2_max),
                                        py::arg("3D") = py::make_tuple(e.e3_min, e.e3_max),
                                        py::arg("loop") = py::make_tuple(e.el_min, e.el_max),
                                        py::arg("all") = py::make_tuple(e.e_min, e.e_max));
                 return d;
             },
             py::arg("barrier_max") = -0.1)
        .def("kmc",
             [](const PyLandscape& l, unsigned seed, std::array<int, 3> supercell, double sf, double temperature,
                double t_limit, long step_limit, long step_log, double cutoff) {
                 KmcRequest r;
                 r.seed = seed;
                 for (int p = 0; p < 3; ++p) r.supercell[p] = supercell[p];
                 r.sf = sf;
                 r.temperature = temperature;
                 r.t_limit = t_limit;
                 r.step_limit = step_limit;
                 r.step_log = step_log;
                 r.cutoff = cutoff;
                 double sigma = 0.0;
                 engine_call([&] { return landscape_kmc(&sigma, l, r); });
                 return sigma;
             });

    m.def("landscape",
          [](const PyStructure& s, const std::string& ion, int charge, double sf, double resolution,
             const std::string& model, bool ignore_conducting, std::optional<unsigned> seed) {
              LandscapeRequest r;
              r.type = ion;
              r.os = charge;
              r.sf = sf;
              r.resolution = resolution;
              r.model = model;
              r.ignore_conducting = ignore_conducting;
              r.seed = seed;
              auto land = std::make_unique<PyLandscape>();
              engine_call([&] { return compute_landscape(land.get(), s, r); });
              return land;
          });
}
