# The two commands of the README: `make run` and `make test`.
# Both install what is missing (Debian packages), configure and build first.

BUILD    ?= build
# What building and running the program needs.
PACKAGES := build-essential cmake ninja-build pkg-config sqlite3 libsqlite3-dev \
            qt6-base-dev qt6-multimedia-dev qt6-qpa-plugins libgl-dev \
            libcurl4-openssl-dev libboost-regex-dev fonts-wqy-zenhei \
            libcli11-dev nlohmann-json3-dev libtomlplusplus-dev libboost-dev libssl-dev \
            libmodest-dev
# What the tests and benchmarks add.
TEST_PACKAGES := libgtest-dev libgmock-dev libbenchmark-dev \
            gcc-mingw-w64-i686-win32 binutils-mingw-w64-i686 nsis-common libz-mingw-w64 \
            g++-multilib clang libclang-rt-14-dev \
            desktop-file-utils appstream dpkg-dev file systemd time lintian \
            python3-feedparser chromium wrk \
            python3-aiosmtpd openssl dbus-daemon
# What the sanitizer suite adds (gcc's sanitizer runtimes; clang and libFuzzer come
# with the test packages).
SANITIZE_PACKAGES := libasan8 libubsan1
SANITIZE_BUILD ?= build-sanitize
# Leak checking stays on and needs no suppressions: no library the tests use
# leaves a leak report.
SANITIZE_ENV := QT_QPA_PLATFORM=offscreen \
            ASAN_OPTIONS=check_initialization_order=1:strict_init_order=1:detect_leaks=1 \
            UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
SUDO     := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: run test sanitize build deps test-deps sanitize-deps configure test-configure clean

run: build
	cd $(BUILD) && ./vela

test: test-configure
	cmake --build $(BUILD)
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2

# The whole project and its tests built with AddressSanitizer and UndefinedBehavior-
# Sanitizer in a folder of its own, every test run there, then each fuzz target for
# a bounded time (their execution counts are printed at the end).
sanitize: sanitize-deps
	cmake -S . -B $(SANITIZE_BUILD) -G Ninja -DVELA_SANITIZE=ON
	cmake --build $(SANITIZE_BUILD)
	cd $(SANITIZE_BUILD) && $(SANITIZE_ENV) ctest --output-on-failure -j2 -LE fuzz
	rm -f $(SANITIZE_BUILD)/fuzz_counts.txt
	cd $(SANITIZE_BUILD) && $(SANITIZE_ENV) ctest --output-on-failure -L fuzz
	@cat $(SANITIZE_BUILD)/fuzz_counts.txt

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

sanitize-deps: test-deps
	@$(MAKE) --no-print-directory deps PACKAGES="$(SANITIZE_PACKAGES)"

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
	rm -rf $(BUILD) $(SANITIZE_BUILD)
