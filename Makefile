# The two commands of the README: `make run` and `make test`.
# Both install what is missing (Debian packages), configure and build first.

BUILD    ?= build
PACKAGES := build-essential cmake ninja-build pkg-config sqlite3 libsqlite3-dev \
            qt6-base-dev qt6-multimedia-dev qt6-qpa-plugins libgl-dev \
            libcurl4-openssl-dev libboost-regex-dev libgtest-dev libgmock-dev libbenchmark-dev \
            fonts-wqy-zenhei \
            gcc-mingw-w64-i686-win32 binutils-mingw-w64-i686 nsis-common libz-mingw-w64 \
            g++-multilib clang libclang-rt-14-dev \
            desktop-file-utils appstream dpkg-dev file
SUDO     := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: run test build deps configure clean

run: build
	cd $(BUILD) && ./vela

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2

build: configure
	cmake --build $(BUILD)

configure: deps
	@[ -f $(BUILD)/build.ninja ] || cmake -S . -B $(BUILD) -G Ninja

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
