# Two entry points for a fresh Debian machine:
#   make demo   installs what is missing, builds the two programs, and runs the main job on a bundled example
#   make check  installs what is missing, builds, and runs every test (plain and sanitizer builds)

DEBIAN_PACKAGES := build-essential cmake pkg-config libfftw3-dev libgtest-dev libgmock-dev gemmi-dev tao-pegtl-dev libsymspg-dev python3-gemmi python3-spglib python3-numpy python3-scipy snakemake python3-matplotlib pybind11-dev python3-dev python3-pytest python3-pandas python3-ase python3-pymatgen
BUILD := build
BUILD_ASAN := build-asan
JOBS ?= $(shell nproc)

.PHONY: deps build build-asan demo check test test-asan clean python-path

deps:
	@missing=""; for p in $(DEBIAN_PACKAGES); do \
	  dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  SUDO=""; [ "$$(id -u)" -ne 0 ] && SUDO=sudo; \
	  $$SUDO apt-get update && $$SUDO apt-get install -y $$missing; fi

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)
	@$(MAKE) --no-print-directory python-path

# `import kelmar` / `import naro` for Debian's python3 from the build tree: a .pth file in the
# user's site-packages naming $(BUILD)/python (no root needed; `cmake --install` is the system-wide way).
python-path:
	@if [ -d $(BUILD)/python/kelmar ]; then \
	  site=$$(/usr/bin/python3 -m site --user-site) && mkdir -p "$$site" && \
	  echo "$(CURDIR)/$(BUILD)/python" > "$$site/kelmar-build.pth" && \
	  echo "Python: import kelmar, naro from $(CURDIR)/$(BUILD)/python ($$site/kelmar-build.pth)"; fi

build-asan: deps
	cmake -S . -B $(BUILD_ASAN) -DCMAKE_BUILD_TYPE=Debug -DKELMAR_SANITIZE=ON
	cmake --build $(BUILD_ASAN) -j $(JOBS)

# the demo runs the two programs only: their targets are built, not the tests
demo: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS) --target kelmar.x NARO.x
	bash examples/demo.sh $(BUILD)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: build-asan
	cd $(BUILD_ASAN) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS)

check: test test-asan

clean:
	rm -rf $(BUILD) $(BUILD_ASAN)
