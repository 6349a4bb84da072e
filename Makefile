# Quorvel: make build | make test | make run
JOBS ?= 2
BUILD := build
ASAN_BUILD := build-asan
CMAKE_GEN := -G Ninja
SAMPLE := data/sample.mp3
PREFIX ?= /usr/local
DESTDIR ?=

.PHONY: deps build test test-release test-asan run screenshots clean fuzz fuzz-smoke bench bench-analysis \
	bench-save bench-window install install-built

deps:
	@bash scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

test-release: build
	ctest --test-dir $(BUILD) --output-on-failure

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer; any report fails.
test-asan: deps
	cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DQUORVEL_SANITIZE=ON -DQUORVEL_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure

test: test-release test-asan fuzz-smoke

# The editor on the sample when a display is there; otherwise the sample's analysis.
run: build
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  ./$(BUILD)/quorvel $(SAMPLE); \
	else \
	  ./$(BUILD)/quorvel --info $(SAMPLE); \
	  echo; \
	  echo "No display (DISPLAY and WAYLAND_DISPLAY are unset): on a desktop, open the editor with"; \
	  echo "  ./$(BUILD)/quorvel $(SAMPLE)"; \
	fi

# The main window with the sample and each message window, rendered offscreen to PNG.
screenshots: build
	QT_QPA_PLATFORM=offscreen ./$(BUILD)/tests/quorvel_screenshots docs/screenshots $(SAMPLE)

# Builds, then installs under $(DESTDIR)$(PREFIX): bin/quorvel, the help files in
# share/quorvel/, the desktop entry, the icon, the AppStream metainfo and the
# manual page. Example: make install PREFIX=/usr DESTDIR=/tmp/stage
install: build
	@$(MAKE) --no-print-directory install-built

# Installs what $(BUILD) holds, without building.
install-built:
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# libFuzzer targets (clang, ASan + UBSan): build-fuzz/fuzz/<name>_fuzz, see fuzz/CMakeLists.txt.
FUZZ_BUILD := build-fuzz
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DQUORVEL_FUZZ=ON -DQUORVEL_TESTS=OFF -DQUORVEL_BENCH=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_targets

# Every fuzz target for 30 s over a temporary copy of its committed corpus; any crash,
# leak or sanitizer report fails (part of make test).
fuzz-smoke: fuzz
	bash fuzz/smoke.sh $(FUZZ_BUILD) 30

# Quorvel against cp, mp3splt, ffmpeg, mp3gain, ffprobe and mp3val on generated
# 30-minute and 5-hour files; prints the table and writes bench/results.md.
bench: deps
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS) --target quorvel
	bash bench/run_bench.sh $(BUILD)

# Source analysis against plain read() of a ~300 MB file (median of 5 runs each).
bench-analysis: deps
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DQUORVEL_BENCH=ON
	cmake --build $(BUILD) -j $(JOBS) --target analysis_bench
	bash bench/run_analysis_bench.sh $(BUILD)

# Load + save of a 5-hour 128 kbps file against cp, and a three-way split against
# mp3splt and ffmpeg -c copy (median of 5 runs each, page cache warm).
bench-save: deps
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DQUORVEL_BENCH=ON
	cmake --build $(BUILD) -j $(JOBS) --target save_bench
	bash bench/save_split_bench.sh $(BUILD)

# The window with a 5-hour file: open time against --info, strip paint, peak memory.
bench-window: deps
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DQUORVEL_BENCH=ON
	cmake --build $(BUILD) -j $(JOBS) --target quorvel window_bench
	bash bench/run_window_bench.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
