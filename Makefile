# Quorin: the two commands are `make test` and `make demo`; `make dist` makes a release.
BUILD    ?= build
JOBS     ?= $(shell nproc)
X64      := $(BUILD)/x86_64
X86      := $(BUILD)/i686
PACKAGES := g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64 \
            wine wine64 libwine-dev xvfb googletest libboost-dev nlohmann-json3-dev fonts-wine \
            imagemagick locales cmake make wixl msitools python3-shapely \
            python3-olefile osslsigncode openssl
CMAKE_ARGS ?= -DCMAKE_BUILD_TYPE=Release

.PHONY: all deps build build-x64 build-x86 test demo bench dist guide-pictures clean

all: build

# Installs what is missing, quietly when everything is there; makes the 32-bit runner (cmake/deps.sh).
deps:
	@bash cmake/deps.sh $(PACKAGES)

$(X64)/CMakeCache.txt:
	cmake -S . -B $(X64) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64.cmake $(CMAKE_ARGS) >/dev/null

$(X86)/CMakeCache.txt:
	cmake -S . -B $(X86) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686.cmake $(CMAKE_ARGS) >/dev/null

build-x64: deps $(X64)/CMakeCache.txt
	cmake --build $(X64) -j $(JOBS)

build-x86: deps $(X86)/CMakeCache.txt
	cmake --build $(X86) -j $(JOBS)

build: build-x64 build-x86

# Every test on both builds, one display: the x86_64 twin under wine64, then the i686 product
# under the 32-bit loader. Both runs go through; the target fails if either failed.
test: build
	bash cmake/with-display.sh $(X64) $(X86) -- bash cmake/run-tests.sh $(JOBS) $(X64) $(X86)

bench: build
	bash cmake/with-display.sh $(X64) $(X86) -- bash cmake/bench.sh $(X64) $(X86)

demo: build-x64
	bash cmake/demo.sh $(X64)

# dist/: Quorin.dll, Quorin-VERSION.msi, Quorin-VERSION.zip and SHA256SUMS from the i686 build
# (cmake/dist.sh): only the DLL is built for it. The same commit gives the same bytes (time stamps
# from SOURCE_DATE_EPOCH, else the commit's time). Signed when a certificate is given:
# SIGN_CERT=cert.pem SIGN_KEY=key.pem, or SIGN_CERT=cert.p12; SIGN_PASS_FILE (a file holding the
# password), SIGN_TIMESTAMP_URL.
SIGN_CERT ?=
SIGN_KEY ?=
SIGN_PASS_FILE ?=
SIGN_TIMESTAMP_URL ?=
dist: deps $(X86)/CMakeCache.txt
	cmake --build $(X86) -j $(JOBS) --target Quorin
	SIGN_CERT='$(SIGN_CERT)' SIGN_KEY='$(SIGN_KEY)' SIGN_PASS_FILE='$(SIGN_PASS_FILE)' \
	  SIGN_TIMESTAMP_URL='$(SIGN_TIMESTAMP_URL)' bash cmake/dist.sh $(X86)

# The user guide's pictures of the four relations (docs/guide), from the demo host's scripted mode.
guide-pictures: build-x64
	bash cmake/guide-pictures.sh $(X64)

clean:
	rm -rf $(BUILD) dist
