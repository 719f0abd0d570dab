# The two set-up commands: `make run` and `make test`.
BUILD ?= build
JOBS ?= 2

.PHONY: run test build configure deps demo clean install

deps:
	@scripts/ensure-deps

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release

build: configure
	cmake --build $(BUILD) -j$(JOBS)

# What the demo tree needs, and no test program: kestrel, the tools and the
# demo programs.
demo: configure
	cmake --build $(BUILD) -j$(JOBS) --target kestrel nd-asm nd-dis demo_programs
	scripts/make-demo-tree $(BUILD)/demo-tree $(BUILD)

run: demo
	cd $(BUILD)/demo-tree && ../kestrel

# The whole suite runs twice: on the release build, and on a build with
# AddressSanitizer and UndefinedBehaviorSanitizer.
test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)
	cmake -S . -B $(BUILD)-sanitize -DCMAKE_BUILD_TYPE=Debug -DKESTREL_SANITIZE=ON
	cmake --build $(BUILD)-sanitize -j$(JOBS)
	cd $(BUILD)-sanitize && ctest --output-on-failure -j$(JOBS)

install: build
	cmake --install $(BUILD)

clean:
	rm -rf $(BUILD)
