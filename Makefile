# The two entry points of the README. Both install what they need first.
BUILD ?= build

.PHONY: all deps build run test clean

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

clean:
	rm -rf build build-asan
