# The two commands of the README, and the builds beneath them.
BUILD      ?= build
TEST_BUILD ?= build-asan
JOBS       ?= $(shell nproc)

.PHONY: all deps build test demo bench clean

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

# The main job on the bundled sample array.
demo: build
	@scripts/demo $(BUILD)/quarnel

bench: build
	@bench/run $(BUILD)/quarnel

clean:
	rm -rf $(BUILD) $(TEST_BUILD) demo-out recovered
