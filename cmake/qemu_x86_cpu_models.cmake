# The x86 CPUs that qemu's user-mode emulators (qemu-x86_64, qemu-i386) can
# give a program, each with only the tiers below a point, and the best tier
# each must choose: MODEL=TIER. Each model leaves out the features the
# emulator lacks, which it would otherwise warn about on standard error.
# qemu 7.2 emulates no AVX-512, GFNI or VPCLMULQDQ, so the tiers above avx2
# are proven on real CPUs only.
set(CHUNKTOOLS_QEMU_X86_MODELS
  Westmere=portable
  SandyBridge,-x2apic,-tsc-deadline,-pcid=portable
  Haswell,-pcid,-x2apic,-tsc-deadline,-hle,-invpcid,-rtm=avx2)
# qemu-i386 also warns of the 64-bit mode it cannot give a 32-bit program.
set(CHUNKTOOLS_QEMU_I386_EXTRA_FEATURES ",-syscall,-lm")

# qemu_x86_model(ENTRY MODEL_VAR NAME_VAR TIER_VAR): one entry of the list
# split into the -cpu argument, the model's bare name and its tier.
function(qemu_x86_model entry model_var name_var tier_var)
  string(REPLACE "=" ";" entry ${entry})
  list(GET entry 0 model)
  list(GET entry 1 tier)
  string(REGEX REPLACE ",.*" "" name ${model})
  set(${model_var} ${model} PARENT_SCOPE)
  set(${name_var} ${name} PARENT_SCOPE)
  set(${tier_var} ${tier} PARENT_SCOPE)
endfunction()
