# Veltrina for Windows: cross-built with MinGW-w64, run and tested under Wine.
#   make run    set up, build and start the client (under Xvfb with a scripted tour when there is no display)
#   make test   set up, build (64-bit and, as a check, 32-bit) and run every test under Wine and Xvfb
#   make bench  build, then measure start-up, sign-in, memory and the UI's heavy paths of the real client
#               (table on screen, figures in build/bench/results.json; see README.md)
#   make fuzz   build the parsers natively with clang, libFuzzer and sanitizers and fuzz each for
#               FUZZ_SECONDS (default 60); make test runs the same for a few seconds each
#   make server build veltrina-server natively and serve the demo team on 127.0.0.1:8080 in the
#               foreground (data in $(BUILD)/server-data, or SERVER_DATABASE=postgresql://...; see README.md)
#   make server-bench  build veltrina-server and veltrina-load natively and load the server with simulated
#               users (delivery, latency, throughput, memory, CPU; table on screen, figures in
#               $(BUILD)/bench/server.json; see README.md)
#   make mutate plant the known faults of tools/mutants.json one at a time and report which the tests
#               catch (MUTANTS="id id" for some of them; build/mutate/results.txt; see README.md)
BUILD   ?= build
BUILD32 ?= build-i686
JOBS    ?= $(shell nproc)
FUZZ_SECONDS ?= 60
CMAKE_GEN = -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: all run test tour build build32 setup clean fuzz bench mutate server server-bench

all: build

setup:
	@bash tools/setup.sh

$(BUILD)/build.ninja: | setup
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake

# The 32-bit build is a compile check: no optimisation, no debug information, no tests.
$(BUILD32)/build.ninja: | setup
	cmake -S . -B $(BUILD32) -G Ninja -DCMAKE_BUILD_TYPE=Check -DCMAKE_CXX_FLAGS_CHECK=-O0 -DCMAKE_C_FLAGS_CHECK=-O0 \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake -DVELTRINA_TESTS=OFF

build: setup $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

build32: setup $(BUILD32)/build.ninja
	cmake --build $(BUILD32) -j $(JOBS)

test: build build32
	@bash tools/test.sh $(BUILD)

fuzz: setup
	@FUZZ_SECONDS=$(FUZZ_SECONDS) JOBS=$(JOBS) bash tools/fuzz.sh $(BUILD)/fuzz

run: build
	@bash tools/run.sh $(BUILD)

bench: build
	cmake --build $(BUILD) -j $(JOBS) --target bench_programs
	@bash tools/bench/bench.sh $(BUILD)

# Not part of `make test`: each mutant rebuilds what its groups need and runs them (a minute or two each).
MUTANTS ?=
mutate: build
	@python3 tools/mutate.py $(BUILD) --jobs $(JOBS) $(if $(MUTANTS),--only "$(MUTANTS)")

SERVER_LISTEN ?= 127.0.0.1:8080
server: setup
	cmake -S server -B $(BUILD)/native/server -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD)/native/server -j $(JOBS) --target veltrina-server
	$(BUILD)/native/server/veltrina-server --listen $(SERVER_LISTEN) --data $(BUILD)/server-data --seed demo \
	  $(if $(SERVER_DATABASE),--database '$(SERVER_DATABASE)')

# Four scenarios on SQLite, a fresh server each: 200 active users; 1,000 connected of whom 800
# only poll; a ramp of the message rate until p99 passes 1 s; sign-ins with argon2id beside the
# talk. Then 200 active users and the ramp on PostgreSQL with two server processes.
server-bench: setup
	cmake -S server -B $(BUILD)/native/server -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD)/native/server -j $(JOBS) --target veltrina-server veltrina-load
	$(BUILD)/native/server/veltrina-load --bench --out $(BUILD)/bench/server.json
	bash tools/server-bench-pg.sh $(BUILD)/native/server $(BUILD)/bench/server.json

tour: build
	@bash tools/run.sh $(BUILD) --tour

clean:
	rm -rf $(BUILD) $(BUILD32)
