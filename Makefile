# The project's commands; each installs what is missing first.
.PHONY: test bench demo installer

test:
	tools/run-tests

bench:
	tools/bootstrap
	cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build build/bench -j --target analysis_bench
	build/bench/bench/analysis_bench
	tools/bench-render
	tools/bench-live

# The light-show demo; `make demo WAV=path/to/file.wav` plays a file instead.
demo:
	tools/demo $(WAV)

# The Windows installer packages, in build/installer/.
installer:
	tools/build-installer
