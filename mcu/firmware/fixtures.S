/* The recordings and the desktop encoders' samples (written by mcu_fixtures), in flash. */
    .section .fixtures, "a"
    .macro fixture name, file
    .balign 4
    .global \name
\name:
    .incbin "\file"
    .endm
    fixture audible_clean, "audible_clean.s16"
    fixture audible_white, "audible_white.s16"
    fixture audible_babble, "audible_babble.s16"
    fixture audible_encoded, "audible_encoded.f32"
    fixture audible_payload, "audible_payload.f32"
    fixture phone_clean, "phone_clean.s16"
    fixture phone_white, "phone_white.s16"
    fixture phone_babble, "phone_babble.s16"
    fixture phone_encoded, "phone_encoded.f32"
    fixture phone_payload, "phone_payload.f32"
