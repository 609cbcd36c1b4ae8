# The commands of the README, and a few more for developers.
#   make run      installs what is missing, builds, starts OlmConfig on a simulated LAN of sample controllers
#   make test     installs what is missing, builds, runs every test (what CI runs)
#   make package  builds the Debian package olmconfig_<version>_<arch>.deb into this folder
JOBS ?= $(shell nproc)

.PHONY: run test package deps build asan fuzz screenshot clean

deps:
	bash scripts/install-deps.sh

build: deps
	cmake --preset default
	cmake --build --preset default -j $(JOBS)

run: build
	./build/default/app/olmconfig-demo

# Every test: the fuzz targets briefly, the suite, and the same suite under AddressSanitizer and
# UndefinedBehaviorSanitizer.
test: build
	bash scripts/run-fuzz.sh 20
	ctest --preset default -j $(JOBS)
	$(MAKE) --no-print-directory asan

package: build
	rm -rf build/package
	cd build/default && cpack -G DEB -B ../package
	cp build/package/olmconfig_*.deb .

asan: deps
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

fuzz: deps
	bash scripts/run-fuzz.sh 300

screenshot: build
	bash scripts/screenshot.sh

clean:
	rm -rf build
