# The two commands of the README, and the builds beneath them.
BUILD      ?= build
TEST_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
JOBS       ?= $(shell nproc)

.PHONY: all deps build test tsan demo bench clean

all: build

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUARNEL_SANITIZE=OFF -DQUARNEL_TESTS=OFF >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

# Every test, under AddressSanitizer and UndefinedBehaviorSanitizer.
test: deps
	cmake -S . -B $(TEST_BUILD) -G Ninja -DQUARNEL_SANITIZE=ON -DQUARNEL_TESTS=ON >/dev/null
	cmake --build $(TEST_BUILD) -j $(JOBS)
	ctest --test-dir $(TEST_BUILD) --output-on-failure -j $(JOBS)

# The tests that read from several threads and drive jobs from another thread, under
# ThreadSanitizer: a report fails the run.
tsan: deps
	cmake -S . -B $(TSAN_BUILD) -G Ninja -DQUARNEL_TSAN=ON -DQUARNEL_TESTS=ON >/dev/null
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target quarnel_tests
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" $(TSAN_BUILD)/tests/quarnel_tests \
	  --gtest_filter='Concurrency.*:*ParseJobs*:SaveJob.*:CarveJob.*:SessionJobs.*'

# The main job on the bundled sample array.
demo: build
	@scripts/demo $(BUILD)/quarnel

bench: build
	@bench/run $(BUILD)/quarnel

clean:
	rm -rf $(BUILD) $(TEST_BUILD) $(TSAN_BUILD) demo-out recovered
