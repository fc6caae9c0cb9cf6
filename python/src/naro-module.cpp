// The extension naro._core: the analyser's activation energies of long-range migration from a CIF
// and a cube file (activation-run.hpp), without the GIL and with the console captured; a failed
// call raises NaroError with the analyser's "Error:" lines. It shares no code with kelmar's module:
// the two meet through files, as the programs do.
#include <pybind11/pybind11.h>

#include <stdexcept>

#include "activation-run.hpp"
#include "console-capture.hpp"

namespace py = pybind11;

namespace {

struct AnalyserFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

pyconsole::ConsoleText& last_console() {
    static pyconsole::ConsoleText text;
    return text;
}

py::object level(double e) { return e >= 999.0 ? py::object(py::none()) : py::object(py::float_(e)); }

}  // namespace

PYBIND11_MODULE(_core, m) {
    m.doc() = "C++ engine of the NARO analyser (stationary points, path library, percolation).";
    py::register_exception<AnalyserFailure>(m, "NaroError", PyExc_RuntimeError);
    m.def("last_output", []() { return py::make_tuple(last_console().out, last_console().err); });
    m.def("activation_energies",
          [](const std::string& cif, const std::string& ion, const std::string& cube, const std::string& scale,
             double max, bool smooth) {
              NaroActivationRequest r{cif, ion, cube, scale, max, smooth};
              NaroActivationEnergies e;
              int rc = 1;
              pyconsole::ConsoleText text;
              {
                  py::gil_scoped_release release;
                  pyconsole::ConsoleCapture capture;
                  try {
                      rc = naro_activation_energies(r, &e);
                  } catch (...) {
                      last_console() = capture.finish();
                      throw;
                  }
                  text = capture.finish();
              }
              last_console() = text;
              if (rc != 0) {
                  const std::string message = pyconsole::error_lines(text);
                  throw AnalyserFailure(message.empty() ? "Error: the analysis failed." : message);
              }
              py::dict d;
              d["1D"] = level(e.oneD);
              d["2D"] = level(e.twoD);
              d["3D"] = level(e.threeD);
              d["minima"] = e.minima;
              d["saddles"] = e.saddles;
              d["paths"] = e.paths;
              return d;
          });
}
