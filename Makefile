# make run   - install what is missing, build, start the program
# make test  - install what is missing, build, run every test
.PHONY: run test deps build build-program build-asan build-tsan bench fuzz soak clean

SHELL := /bin/bash
PACKAGES := $(shell grep -v '^\s*\#' deps/debian-packages.txt | grep -v '^\s*$$')
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)
# Seconds each fuzz target runs: a short bounded run in `make test`, a long one in `make fuzz`.
# From their seeds the targets gain in 15 s 86 to 100 per cent of the coverage they gain in
# 30 s, two at a time on two cores; the search beyond that is `make fuzz`'s.
TEST_FUZZ_SECONDS ?= 15
FUZZ_SECONDS ?= 600

run: build-program
	./build/default/src/app/tavrin

test: build build-asan build-tsan
	ctest --preset default
	ctest --preset asan
	ctest --preset tsan
	$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=$(TEST_FUZZ_SECONDS)

# Installs only when a package is missing, so a machine that has everything starts at once.
deps:
	@missing=$$(for p in $(PACKAGES); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing: $$missing"; \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing; \
	fi

build: deps
	cmake --preset default
	cmake --build --preset default

# Only the window and tavrin-cli: the tests and benchmarks wait for `make test`.
build-program: deps
	cmake --preset default
	cmake --build --preset program

build-asan: deps
	cmake --preset asan
	cmake --build --preset asan

# The threaded parts (engine, storage, controller, the platform's sync thread, the window's event delivery,
# the window on the real engine) under ThreadSanitizer.
build-tsan: deps
	cmake --preset tsan
	cmake --build --preset tsan

bench: build
	./scripts/run-benchmarks

fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz
	./scripts/run-fuzz $(FUZZ_SECONDS)

soak: build
	TAVRIN_SOAK=1 ctest --preset default --timeout 3600

clean:
	rm -rf build
