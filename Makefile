# The README's commands. Each installs what is missing first.
#   make test   every test: native (ASan + UBSan), then Windows under Wine
#   make demo   Tarvel against the scripted CAD host, with pictures
#   make bench  the benchmarks: build/bench/results.json and report.txt
SHELL := /bin/bash
.PHONY: test demo bench release setup native windows test-native test-windows test-fuzz clean

# The Windows build: libjpeg for Windows first, then the preset; a rule that
# needs only some programs names them with --target.
WINDOWS_BUILD = scripts/build-libjpeg-windows && cmake --preset windows >/dev/null && cmake --build --preset windows

setup:
	@scripts/setup

native: setup
	@cmake --preset native >/dev/null
	@cmake --build --preset native

windows: setup
	@$(WINDOWS_BUILD)

test-native: native
	@ctest --preset native

test-windows: windows
	@scripts/wine-env ctest --preset windows

# A short bounded run of each libFuzzer harness on its seed corpus.
test-fuzz: setup
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz
	@ctest --test-dir build/fuzz --output-on-failure

test: test-native test-fuzz test-windows

# The demo builds only the three programs it runs.
demo: setup
	@$(WINDOWS_BUILD) --target Tarvel cadhost tarvel-check
	@scripts/demo

# The benchmarks: the native core optimised, Tarvel.exe under Wine.
bench: setup
	@cmake --preset bench >/dev/null
	@cmake --build --preset bench
	@$(WINDOWS_BUILD) --target Tarvel cadhost tarvel-check clipholder bench-startup bench-same-window bench-send bench-clipboard
	@scripts/bench

# build/release/tarvel-VERSION.zip: Tarvel.exe, cadhost.exe, tarvel-check.exe, the demo picks, the Japanese guide
release: setup
	@$(WINDOWS_BUILD) --target Tarvel cadhost tarvel-check
	@scripts/package-release

clean:
	rm -rf build
