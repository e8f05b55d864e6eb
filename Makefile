# The two commands of the README: `make run` and `make test`.
# Both install what is missing (Debian packages), configure and build first.

BUILD    ?= build
# What building and running the program needs.
PACKAGES := build-essential cmake ninja-build pkg-config sqlite3 libsqlite3-dev \
            qt6-base-dev qt6-multimedia-dev qt6-qpa-plugins libgl-dev \
            libcurl4-openssl-dev libboost-regex-dev fonts-wqy-zenhei
# What the tests and benchmarks add.
TEST_PACKAGES := libgtest-dev libgmock-dev libbenchmark-dev \
            gcc-mingw-w64-i686-win32 binutils-mingw-w64-i686 nsis-common libz-mingw-w64 \
            g++-multilib clang libclang-rt-14-dev \
            desktop-file-utils appstream dpkg-dev file
SUDO     := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: run test build deps test-deps configure test-configure clean

run: build
	cd $(BUILD) && ./vela

test: test-configure
	cmake --build $(BUILD)
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2

build: configure
	cmake --build $(BUILD)

configure: deps
	@[ -f $(BUILD)/build.ninja ] || cmake -S . -B $(BUILD) -G Ninja

# A build folder configured before the test packages were there learns of them.
test-configure: test-deps
	@[ -f $(BUILD)/CTestTestfile.cmake ] && grep -q 'subdirs("tests")' $(BUILD)/CTestTestfile.cmake || \
	  cmake -S . -B $(BUILD) -G Ninja

test-deps: deps
	@$(MAKE) --no-print-directory deps PACKAGES="$(TEST_PACKAGES)"

deps:
	@missing=$$(for p in $(PACKAGES); do \
	    dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || echo $$p; \
	  done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing: $$missing"; \
	  $(SUDO) apt-get update && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y --no-install-recommends $$missing; \
	fi

clean:
	rm -rf $(BUILD)
