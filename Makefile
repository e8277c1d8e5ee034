# The two commands of this repository. Each does its own set-up (scripts/bootstrap).
#   make demo   build everything and run the main job
#   make test   build the three presets and run every test (native, fuzz smoke runs, Wine)
.PHONY: demo test build clean

demo:
	@scripts/demo

test:
	@scripts/test

build:
	@scripts/build

clean:
	rm -rf build
