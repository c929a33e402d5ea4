# Quorin: the two commands are `make test` and `make demo`.
BUILD    ?= build
JOBS     ?= $(shell nproc)
X64      := $(BUILD)/x86_64
X86      := $(BUILD)/i686
PACKAGES := g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64 \
            wine wine64 libwine-dev xvfb googletest libboost-dev nlohmann-json3-dev fonts-wine \
            imagemagick locales cmake make
CMAKE_ARGS ?= -DCMAKE_BUILD_TYPE=Release

.PHONY: all deps build build-x64 build-x86 test demo bench clean

all: build

# Installs what is missing, quietly when everything is there.
deps:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  export DEBIAN_FRONTEND=noninteractive; \
	  apt-get update -qq && apt-get install -y -qq --no-install-recommends $$missing >/dev/null || exit 1; \
	fi

$(X64)/CMakeCache.txt:
	cmake -S . -B $(X64) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64.cmake \
	  -DQUORIN_I686_DLL=$(abspath $(X86))/module/Quorin.dll $(CMAKE_ARGS) >/dev/null

$(X86)/CMakeCache.txt:
	cmake -S . -B $(X86) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686.cmake $(CMAKE_ARGS) >/dev/null

build-x64: deps $(X64)/CMakeCache.txt
	cmake --build $(X64) -j $(JOBS)

build-x86: deps $(X86)/CMakeCache.txt
	cmake --build $(X86) -j $(JOBS)

build: build-x64 build-x86

test: build
	bash cmake/with-display.sh $(X64) ctest --test-dir $(X64) --output-on-failure -j $(JOBS) --timeout 300

bench: build-x64
	bash cmake/with-display.sh $(X64) bash cmake/bench.sh $(X64)

demo: build-x64
	bash cmake/demo.sh $(X64)

clean:
	rm -rf $(BUILD)
