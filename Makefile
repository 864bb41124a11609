# The two entry points of the README. Both install what they need first.
BUILD ?= build

.PHONY: all deps build run test fuzz package clean

all: build

deps:
	./scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -G Ninja
	cmake --build $(BUILD) -j2

run: build
	./scripts/run.sh $(BUILD)

test:
	./scripts/test.sh

# The Debian packages corvala and corvala-server into $(BUILD)/packages.
package: deps
	./scripts/package.sh $(BUILD)

# The libFuzzer targets into build-fuzz/ (scripts/fuzz.sh runs them).
fuzz:
	./scripts/fuzz.sh build

clean:
	rm -rf build build-asan build-tsan build-fuzz
