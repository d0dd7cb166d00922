# Thin wrapper over CMake. `make run` and `make test` work on a fresh Debian 12
# machine: each installs the Debian packages it lacks, then builds.

BUILD ?= build
JOBS ?= 2
PREFIX ?= /usr/local
BENCH_BUILD ?= build-bench

# Debian packages, one list per purpose: `make build` and `make run` install
# only what building the programs needs, `make test` (and the sanitizer and
# leak checks) what the tests need besides, the benchmarks theirs. Each
# target installs the lists it needs and only the packages missing.
BUILD_PACKAGES := cmake g++ make pkg-config qt6-base-dev fonts-dejavu-core fonts-noto-color-emoji \
            libx11-dev libxtst-dev libxi-dev libxkbcommon-dev libwayland-dev wayland-protocols libatspi2.0-dev
# `make run` on a machine without a display starts the keyboard on a virtual X server.
HEADLESS_PACKAGES := xvfb xauth
TEST_PACKAGES := libgtest-dev libgmock-dev libbenchmark-dev libgif-dev valgrind \
            xvfb xauth xdotool xclip x11-apps x11-xserver-utils x11-utils openbox xterm \
            sway foot grim python3-gi gir1.2-gtk-4.0 gir1.2-gtk-3.0 \
            at-spi2-core dbus dbus-x11 desktop-file-utils man-db
# The benchmarks, with the keyboards they measure vexil-panel against.
BENCH_PACKAGES := libbenchmark-dev xvfb xauth xdotool openbox sway \
            xvkbd matchbox-keyboard wvkbd libpresage-dev libpresage-data
FUZZ_PACKAGES := clang libclang-rt-14-dev
# Reading presage's n-gram tables when the models are rebuilt.
MODEL_PACKAGES := sqlite3

.PHONY: all deps deps-build deps-test deps-bench deps-fuzz deps-headless build run test configure-tests install clean \
        test-sanitize leak-check fuzz skins previews pictures bench bench-panel bench-wayland bench-predict models

all: build

# $(call install-missing,PACKAGES): apt-get install those not installed yet.
define install-missing
@missing=""; for p in $(1); do \
  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
done; \
if [ -n "$$missing" ]; then \
  echo "Installing:$$missing"; \
  SUDO=""; [ "$$(id -u)" = 0 ] || SUDO=sudo; \
  $$SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq $$missing; \
fi
endef

deps-build:
	$(call install-missing,$(BUILD_PACKAGES))
deps-test: deps-build
	$(call install-missing,$(TEST_PACKAGES))
deps-bench: deps-build
	$(call install-missing,$(BENCH_PACKAGES))
deps-fuzz: deps-build
	$(call install-missing,$(FUZZ_PACKAGES))
# Everything the build and the tests need.
deps: deps-build deps-test

# A fresh build folder is set up for the programs alone, so building needs
# no test library; `make test` turns the tests and benchmarks on in it.
$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXIL_TESTS=OFF -DVEXIL_BENCH=OFF

configure-tests: deps-test $(BUILD)/CMakeCache.txt
	@grep -qs '^VEXIL_TESTS:BOOL=ON' $(BUILD)/CMakeCache.txt && grep -qs '^VEXIL_BENCH:BOOL=ON' $(BUILD)/CMakeCache.txt \
	  || cmake -S . -B $(BUILD) -DVEXIL_TESTS=ON -DVEXIL_BENCH=ON

# Every program (vexil, vexil-panel, vexil-check, vexil-skin,
# vexil-predict), the layouts, the language models and the manual pages.
build: deps-build $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j$(JOBS) --target programs

# Builds every program and opens the keyboard's window with the shipped
# layouts; on a machine without a display, on a virtual X server.
run: build
	@echo "Built in $(BUILD)/bin: vexil, vexil-panel, vexil-check, vexil-skin, vexil-predict."
	@echo "To type into other applications, start the panel: $(BUILD)/bin/vexil-panel"
	@if [ -n "$$DISPLAY" ] || [ -n "$$WAYLAND_DISPLAY" ]; then \
	  $(BUILD)/bin/vexil; \
	else \
	  $(MAKE) --no-print-directory deps-headless; \
	  echo "No display found: running vexil under xvfb-run (a virtual X server you cannot see)."; \
	  xvfb-run -a -s "-screen 0 1024x768x24" $(BUILD)/bin/vexil; \
	fi

deps-headless:
	$(call install-missing,$(HEADLESS_PACKAGES))

test: configure-tests
	cmake --build $(BUILD) -j$(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# Redraws the pictures of the shipped layouts and their [Board] and [Pixs]
# sections, all in one run: bg.gif, the background they share, is settled
# for the whole set before any layout is pointed at it.
skins: build
	$(BUILD)/bin/vexil-skin --write --default-bg layouts/num.cfg layouts/sym.cfg layouts/term.cfg layouts/en.cfg layouts/ru.cfg layouts/phone.cfg \
	  layouts/de.cfg layouts/fr.cfg layouts/es.cfg layouts/el.cfg layouts/web.cfg layouts/emoji.cfg

# Pictures of the shipped layouts for the README: every load list is loaded
# as a user picks it, and each layout drawn by vexil-check --preview in its
# first mode to docs/layout-<name>.png.
previews: deps-build $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j$(JOBS) --target vexil-check layouts
	@tmp=$$(mktemp -d); trap 'rm -rf "$$tmp"' EXIT; \
	for list in layouts/load*.cfg; do \
	  rm -rf "$$tmp/set" "$$tmp/out"; mkdir -p "$$tmp/set" "$$tmp/out"; \
	  cp layouts/* "$$tmp/set/"; cp "$$list" "$$tmp/set/load.cfg"; \
	  $(BUILD)/bin/vexil-check --preview "$$tmp/out" "$$tmp/set" >/dev/null || exit 1; \
	  for png in "$$tmp"/out/*-mode0.png; do \
	    name=$$(basename "$$png" -mode0.png); cp "$$png" "docs/layout-$$name.png"; \
	  done; \
	done

# Every picture of the README, taken again from the real programs at 24-bit
# depth: the layout previews above, the keyboard's window typed into on
# Xvfb, vexil-panel docked under an xterm with openbox on Xvfb, and under
# foot in a headless sway (grim). Each program types its line by clicks on
# its own board.
pictures: previews configure-tests
	cmake --build $(BUILD) -j$(JOBS) --target vexil_pictures
	QT_QPA_PLATFORM=offscreen $(BUILD)/bin/vexil_pictures docs

clean:
	rm -rf $(BUILD)

# Benchmarks in an optimised build of their own; prints one table of targets
# and figures at the end (docs/performance.md). Extra flags for the program
# (e.g. --startup-runs=40) go in BENCH_ARGS.
bench: deps-bench
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DVEXIL_TESTS=OFF
	cmake --build $(BENCH_BUILD) -j$(JOBS) --target vexil_bench
	$(BENCH_BUILD)/bin/vexil_bench $(BENCH_ARGS)

# vexil-panel against xvkbd and matchbox-keyboard, which also type through
# XTest: press-to-key latency and peak memory, on a virtual X server with
# openbox.
bench-panel: deps-bench
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DVEXIL_TESTS=OFF
	cmake --build $(BENCH_BUILD) -j$(JOBS) --target vexil_panel_bench
	xvfb-run -a -s "-screen 0 1024x768x24" $(BENCH_BUILD)/bin/vexil_panel_bench $(BENCH_ARGS)

# vexil-panel on Wayland against wvkbd-mobintl under a headless sway of its
# own (run as an unprivileged user when root): press-to-text latency
# through the input method and the virtual keyboard, peak memory, and the
# X11 panel's memory beside them.
bench-wayland: deps-bench
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DVEXIL_TESTS=OFF
	cmake --build $(BENCH_BUILD) -j$(JOBS) --target vexil_wayland_bench
	$(BENCH_BUILD)/bin/vexil_wayland_bench $(BENCH_ARGS)

# Keystrokes saved by word suggestions on the evaluation texts of
# bench/texts, vexil beside presage (installed here only, with its own
# data), the gain from learning, the time of one prediction and the memory
# of a loaded model.
bench-predict: deps-bench
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DVEXIL_TESTS=OFF -DVEXIL_BENCH=ON
	cmake --build $(BENCH_BUILD) -j$(JOBS) --target vexil_predict_bench
	$(BENCH_BUILD)/bin/vexil_predict_bench $(BENCH_ARGS)

# Rebuilds the language models of data/models from Debian packages that are
# downloaded (not installed) for it: see tools/predict/make-models.sh.
models: deps-build $(BUILD)/CMakeCache.txt
	$(call install-missing,$(MODEL_PACKAGES))
	cmake --build $(BUILD) -j$(JOBS) --target vexil-model-build
	tools/predict/make-models.sh $(BUILD)

# The whole test suite again under AddressSanitizer and UBSan, in its own
# build directory. Leak detection stays on; the suppressions name only the
# toolkit's and fontconfig's own allocations.
ASAN_BUILD ?= build-asan
# No strict_string_checks: the X keyboard library that the end-to-end test's
# window loads hands strndup a buffer without a terminator, within bounds.
SANITIZER_ENV := ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1 \
  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

$(ASAN_BUILD)/Makefile: CMakeLists.txt
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DVEXIL_SANITIZE=ON

test-sanitize: deps-test $(ASAN_BUILD)/Makefile
	cmake --build $(ASAN_BUILD) -j$(JOBS)
	cd $(ASAN_BUILD) && $(SANITIZER_ENV) ctest --output-on-failure -j$(JOBS)

# The program's own start-up with the shipped layouts and its window closed,
# under valgrind's memcheck: no definite leak, no invalid access.
leak-check: configure-tests
	cmake --build $(BUILD) -j$(JOBS) --target test_leaks layouts
	tests/leak-check.sh $(BUILD)

# libFuzzer targets (clang, ASan, UBSan) in their own build directory.
# `make fuzz FUZZ_TIME=600 FUZZ_TARGET=load|tokenizer|gif`
FUZZ_BUILD ?= build-fuzz
FUZZ_TIME ?= 600
FUZZ_TARGET ?= load

$(FUZZ_BUILD)/Makefile: CMakeLists.txt fuzz/CMakeLists.txt
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DVEXIL_FUZZ=ON -DVEXIL_TESTS=OFF

fuzz: deps-fuzz $(FUZZ_BUILD)/Makefile
	cmake --build $(FUZZ_BUILD) -j$(JOBS) --target fuzz_load fuzz_tokenizer fuzz_gif
	fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_TARGET) $(FUZZ_TIME)
