# The README's two commands, over the CMake presets.
.PHONY: demo check bench

# Installs what is missing, builds the release, and runs the demo.
demo:
	scripts/install-deps.sh demo
	cmake --preset release -DKSND_TESTS=OFF >/dev/null
	cmake --build --preset release -j $$(nproc) --target ksfx
	build/release/tools/ksfx demo

# Installs what is missing and runs every test.
check:
	scripts/check.sh

# Mixer and render benchmarks (release build).
bench:
	scripts/install-deps.sh bench
	cmake --preset release -DKSND_BENCH=ON >/dev/null
	cmake --build --preset release -j $$(nproc) --target mixer_bench render_bench
	build/release/bench/mixer_bench --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
	build/release/bench/render_bench
