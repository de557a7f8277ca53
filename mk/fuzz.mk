# Fuzzing and soaking; uses PY, INSTALLED and the bootstrap step from the Makefile.
.PHONY: fuzz soak

SECONDS      ?= 60
FUZZ_BUILD   := build/fuzz
SOAK_CALLS   ?= 1000000
THREAD_CALLS ?= 1000000

# clang++ with libFuzzer, ASan and UBSan, on one job, from fuzz/seeds and the
# corpus kept in build/fuzz/corpus (merged down after each run).
fuzz: | bootstrap ## fuzz the geometry document reader for SECONDS (60); findings in build/fuzz/findings
	@fuzz/ensure_toolchain.sh
	@CXX=clang++ cmake -S fuzz -B $(FUZZ_BUILD) >/dev/null
	@cmake --build $(FUZZ_BUILD) -j2 >$(FUZZ_BUILD)/build.log 2>&1 || { cat $(FUZZ_BUILD)/build.log; exit 1; }
	@mkdir -p $(FUZZ_BUILD)/corpus $(FUZZ_BUILD)/findings
	@echo "fuzz: geometry document reader for $(SECONDS) s (corpus $(FUZZ_BUILD)/corpus, seeds fuzz/seeds)"
	@$(FUZZ_BUILD)/geometry_document_fuzzer -max_total_time=$(SECONDS) -timeout=10 -print_final_stats=1 \
	  -dict=fuzz/geometry_document.dict -artifact_prefix=$(FUZZ_BUILD)/findings/ \
	  $(FUZZ_BUILD)/corpus fuzz/seeds >$(FUZZ_BUILD)/fuzz.log 2>&1 \
	  || { tail -n 60 $(FUZZ_BUILD)/fuzz.log; echo "fuzz: finding saved in $(FUZZ_BUILD)/findings"; exit 1; }
	@grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' $(FUZZ_BUILD)/fuzz.log
	@rm -rf $(FUZZ_BUILD)/corpus.merged && mkdir $(FUZZ_BUILD)/corpus.merged
	@$(FUZZ_BUILD)/geometry_document_fuzzer -merge=1 $(FUZZ_BUILD)/corpus.merged $(FUZZ_BUILD)/corpus \
	  >$(FUZZ_BUILD)/merge.log 2>&1 || { tail -n 20 $(FUZZ_BUILD)/merge.log; exit 1; }
	@rm -rf $(FUZZ_BUILD)/corpus && mv $(FUZZ_BUILD)/corpus.merged $(FUZZ_BUILD)/corpus
	@echo "fuzz: no crash or hang; corpus merged down to $$(ls $(FUZZ_BUILD)/corpus | wc -l) files"

soak: $(INSTALLED) ## every method SOAK_CALLS times with memory and refcounts checked flat, then the threads test with THREAD_CALLS
	@$(PY) tests/python/soak.py --calls $(SOAK_CALLS)
	@QUORVEL_THREAD_CALLS=$(THREAD_CALLS) $(PY) -m pytest -q -s -p no:cacheprovider tests/python/test_threads.py
