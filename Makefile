# The project's commands; each installs what is missing first.
.PHONY: test bench demo installer fuzz

test:
	tools/run-tests

bench:
	tools/bootstrap
	bash -c 'source tools/lib.sh && cmake_configure build/bench native -DCMAKE_BUILD_TYPE=Release && \
		cmake_build_quietly build/bench analysis_bench output_bench' make-bench
	build/bench/bench/analysis_bench
	build/bench/bench/output_bench
	tools/bench-render
	tools/bench-live

# The light-show demo; `make demo WAV=path/to/file.wav` plays a file instead,
# and `make demo OUTPUT=sacn` (or artnet) sends it to a network receiver.
demo:
	OUTPUT="$(OUTPUT)" tools/demo $(WAV)

# The Windows installer packages, in build/installer/.
installer:
	tools/build-installer

# Fuzzes every reader of outside input for FUZZ_SECONDS each (default 60).
fuzz:
	tools/fuzz $(FUZZ_SECONDS)
