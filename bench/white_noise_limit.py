#!/usr/bin/env python3
"""How far any receiver can go in white noise: a genie receiver, told the exact start, the clock
and every tone's amplitude, hears each data symbol of real transmissions through white noise of a
full-band SNR and decides it by maximum likelihood over the 32 tone pairs.

It reports, per plan, rate and SNR:
  - the symbol error rate (no receiver that sees one symbol at a time does better);
  - the information a symbol carries about what was sent, in bits of its five (mutual
    information, from the genie's exact likelihoods);
  - how many messages a decoder that corrects up to four errors, or up to eight errors whose
    places it was told, could still fix at that symbol error rate;
  - the most messages any decoder of a code of 2^50 words can get right over these 18 symbols
    when it decides from their tone amplitudes, however it searches: at most
    P[i > 50 - g] + 2^-g for every g > 0, where i is a message's information density (the sum over
    its symbols of log2 of the likelihood of what was sent over the mean likelihood of all 32
    pairs). The bound holds for any decision regions: where i is small the received symbols
    fit too many other words as well as the sent one;
  - how many messages a receiver that takes no word less likely than the robust receiver's bound
    in noise (a sum of natural log posteriors of -17.5 over the 18 symbols) could hear with the
    genie's symbols: those whose sent word reaches it. Of 2^45 texts, the others together weigh
    2^45 / 32^18 = e^-31.2 on the average, so a search takes a wrong word reaching the bound with
    a chance of at most e^-13.7 = 1.1e-6, and one at -26 with 0.5%: a receiver that goes further
    takes wrong texts.

A transmission delivers 50 bits (ten free symbols: nine text characters and the checksum) in 18
symbols, so a receiver needs more than 50 / 18 = 2.78 bits per symbol to decode at all reliably;
where the genie's symbols carry less, no receiver decodes most messages.

    python bench/white_noise_limit.py                  # -22, -24, -25 dB, 100 messages per cell
    python bench/white_noise_limit.py --snrs -25 --messages 400 --out limit.md
"""
from __future__ import annotations

import argparse
import sys
import time

import numpy as np

import noise_units
import ryxsound

PLANS = (("audible", 44100), ("audible", 48000), ("nonaudible", 44100), ("nonaudible", 48000),
         ("compression", 44100), ("compression", 48000), ("custom", 44100), ("custom", 48000))
PAYLOAD_BITS = 50  # ten free symbols: nine text characters and the checksum
NEEDED_BITS = PAYLOAD_BITS / 18
# The robust receiver's least sum of log posteriors (natural log) for a word it takes from a
# transmission in noise (WordSearch::kAcceptLogPosterior).
ACCEPT_LOG_POSTERIOR = -17.5
POSITIONS = 20
FIRST_DATA = 2


def tone_pairs() -> np.ndarray:
    """The tone pair of each of the 32 symbols: the first 32 pairs a < b of nine tones."""
    pairs = [(a, b) for a in range(9) for b in range(a + 1, 9)][:32]
    return np.array(pairs)


def hop_of(position: int) -> int:
    return 0 if position < 2 else (position - 1) % 3


def envelope(samples: int, rate: float) -> np.ndarray:
    """The data symbols' amplitude envelope (peak 1): a linear fade-in over 7.5% of the symbol,
    the plateau, a linear fade-out over 10% and 5% of silence."""
    exact = np.float32(rate) * np.float32(0.104489796)
    fade_in, fade_out, tail = int(exact * 0.075), int(exact * 0.1), int(exact * 0.05)
    k = np.arange(samples, dtype=np.float64)
    env = np.ones(samples)
    env[:fade_in] = k[:fade_in] / fade_in
    fall = (k > samples - tail - fade_out) & (k < samples - tail)
    env[fall] = (samples - k[fall] - tail) / fade_out
    env[samples - tail:] = 0.0
    return env


def measure(plan_name: str, rate: int, snr_db: float, n_messages: int,
            rng: np.random.Generator) -> dict:
    plan = ryxsound.plan(plan_name, rate)
    d = plan.symbol_samples
    env = envelope(d, rate)
    pairs = tone_pairs()
    on = np.zeros((32, 9))
    on[np.arange(32), pairs[:, 0]] = 1
    on[np.arange(32), pairs[:, 1]] = 1
    n = np.arange(d)
    errors = []
    info = []
    density = []  # per message: its information density, bits
    wrong_symbols = 0
    alphabet = ryxsound.ALPHABET
    for _ in range(n_messages):
        text = "".join(alphabet[i] for i in rng.integers(0, 32, 9))
        clean = ryxsound.encode(text, plan_name, rate).astype(np.float64)
        power = np.mean(clean ** 2)
        sigma = np.sqrt(power / 10 ** (snr_db / 10))
        noisy = clean + rng.standard_normal(len(clean)) * sigma
        message_errors = 0
        for p in range(FIRST_DATA, POSITIONS):
            start = p * d
            freqs = np.array(plan.tones_hz) + hop_of(p) * plan.hop_hz
            # Matched filters: the envelope times each tone, with time counted from the
            # transmission's first sample (the phase the encoder carries on).
            t = (start + n)[None, :] / rate
            templates = env[None, :] * np.exp(-2j * np.pi * freqs[:, None] * t)
            y = templates @ noisy[start:start + d]
            s = np.abs(templates @ clean[start:start + d])
            noise = sigma ** 2 * np.sum(env ** 2)  # E|noise part of y|^2
            truth_tones = np.argsort(s)[-2:]
            truth = int(np.flatnonzero((on[:, truth_tones].sum(axis=1) == 2))[0])
            # Each tone's amplitude when it sounds (the genie knows it): a symbol's two tones
            # give theirs; the others take the plan's tone amplitude law.
            amp_scale = s[truth_tones].mean() / amplitude_law(plan_name, truth_tones).mean()
            amp = amplitude_law(plan_name, np.arange(9)) * amp_scale
            x = 2 * amp * np.abs(y) / noise
            loglik = log_i0(x) - amp ** 2 / noise  # per tone: on against off
            scores = on @ loglik
            best = int(np.argmax(scores))
            message_errors += best != truth
            top = scores.max()
            posterior_log2 = (scores[truth] - top - np.log(np.exp(scores - top).sum())) / np.log(2)
            info.append(5 + posterior_log2)
        errors.append(message_errors)
        wrong_symbols += message_errors
        density.append(sum(info[-(POSITIONS - FIRST_DATA):]))
    errors = np.array(errors)
    return {
        "ser": wrong_symbols / (n_messages * (POSITIONS - FIRST_DATA)),
        "bits": float(np.mean(info)),
        "four": float(np.mean(errors <= 4)),
        "eight": float(np.mean(errors <= 8)),
        "any": most_decoded(np.array(density)),
        "bound": float(np.mean(np.array(density) - 5 * (POSITIONS - FIRST_DATA) >=
                               ACCEPT_LOG_POSTERIOR / np.log(2))),
    }


def most_decoded(density: np.ndarray) -> float:
    """The bound on any decoder's share of messages right: the least over g of
    P[density > 50 - g] + 2^-g (g from 0 to 20 bits in tenths)."""
    gaps = np.arange(0.0, 20.05, 0.1)
    shares = [np.mean(density > PAYLOAD_BITS - g) + 2.0 ** -g for g in gaps]
    return float(min(1.0, min(shares)))


def log_i0(x: np.ndarray) -> np.ndarray:
    """log I0(x), the Rician likelihood's Bessel term; asymptotic where I0 would overflow."""
    small = np.log(np.i0(np.minimum(x, 600.0)))
    return np.where(x < 600.0, small, x - 0.5 * np.log(2 * np.pi * np.maximum(x, 1.0)))


def amplitude_law(plan_name: str, tones: np.ndarray) -> np.ndarray:
    """Relative tone amplitude: 1 for every audible tone, 0.85 + 0.15 j / 8 for the others."""
    tones = np.asarray(tones, dtype=np.float64)
    if plan_name == "audible":
        return np.ones_like(tones)
    return 0.85 + 0.15 * tones / 8


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--snrs", default="-22,-24,-25", help="comma-separated SNRs in dB")
    parser.add_argument("--messages", type=int, default=100, help="messages per cell")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--out", help="write the table as Markdown to this path")
    args = parser.parse_args(argv)
    snrs = [float(s) for s in args.snrs.split(",")]
    began = time.time()
    header = ["plan", *noise_units.HEADERS, "symbol errors", "bits per symbol (of 5; 2.78 "
              "needed)", "messages with <= 4 errors", "with <= 8 errors", "any decoder: at most",
              f"sent word reaches {ACCEPT_LOG_POSTERIOR:g}"]
    lines = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
    for plan_name, rate in PLANS:
        for snr in snrs:
            rng = np.random.default_rng([args.seed, rate, int(-snr * 10)])
            r = measure(plan_name, rate, snr, args.messages, rng)
            lines.append(f"| {plan_name} {rate / 1000:g}k | "
                         f"{' | '.join(noise_units.cells(snr, rate))} | {100 * r['ser']:.1f}% | "
                         f"{r['bits']:.2f} | {100 * r['four']:.0f}% | {100 * r['eight']:.0f}% | "
                         f"{100 * r['any']:.0f}% | {100 * r['bound']:.0f}% |")
            print(lines[-1], flush=True)
    table = "\n".join(lines)
    note = (f"\nGenie receiver (exact start, clock and tone amplitudes; maximum likelihood per "
            f"symbol), {args.messages} messages per cell, seed {args.seed}. "
            f"{noise_units.NOTE} A message needs more than {NEEDED_BITS:.2f} bits per "
            f"symbol. Sent word reaches {ACCEPT_LOG_POSTERIOR:g}: the sum over its symbols of the "
            f"natural log of its pair's posterior, the robust receiver's bound for a word. "
            f"{time.time() - began:.0f} s.\n")
    print(note)
    if args.out:
        with open(args.out, "w") as f:
            f.write(table + "\n" + note)
    return 0


if __name__ == "__main__":
    sys.exit(main())
