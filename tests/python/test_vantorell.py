# The Python module against the command line: the same pictures, Fade frames and GIF bytes from
# NumPy arrays as vantorell-mix writes; its refusals and a cancel from Python.
# Run: PYTHONPATH=build/python python3 -m pytest tests/python
import os
import pathlib
import subprocess

import numpy
import pytest
import vantorell

ROOT = pathlib.Path(__file__).resolve().parents[2]
SAMPLES = ROOT / "assets" / "samples"
MIX = os.environ.get("VANTORELL_MIX", str(pathlib.Path(vantorell.__file__).parent.parent / "vantorell-mix"))
FIRST, SECOND = str(SAMPLES / "face1.jpg"), str(SAMPLES / "sample1.jpg")


def run_mix(tmp_path, name, *options):
    result = tmp_path / name
    subprocess.run([MIX, "--image1", FIRST, "--image2", SECOND, *options, "--output-file", str(result)],
                   check=True, stdout=subprocess.DEVNULL)
    return result.read_bytes()


@pytest.mark.parametrize("mix_type, in_memory", [
    ("overlay", lambda a, b: vantorell.overlay(a, b)),
    ("blend", lambda a, b: vantorell.blend(a, b, direction="top", blend_size=100, canvas="320x240")),
])
def test_pictures_match_the_command_line(tmp_path, mix_type, in_memory):
    expected = run_mix(tmp_path, "cli.jpg", "--type", mix_type, "--quality", "90",
                       *(["--direction", "top", "--blend-size", "100", "--canvas", "320x240"] if mix_type == "blend" else []))
    first, second = vantorell.load_image(FIRST), vantorell.load_image(SECOND)
    vantorell.save_image(str(tmp_path / "python.jpg"), in_memory(first, second), quality=90)
    assert (tmp_path / "python.jpg").read_bytes() == expected
    # RGBA and strided arrays give the same pixels, with an opaque alpha.
    rgba = vantorell.load_image(FIRST, rgba=True)
    flipped = numpy.ascontiguousarray(second[::-1])[::-1]
    assert (in_memory(rgba, flipped)[:, :, :3] == in_memory(first, second)).all()


def test_fade_frames_and_gif_match_the_command_line(tmp_path):
    expected = run_mix(tmp_path, "cli.gif", "--type", "fade", "--format", "gif", "--frames", "4", "--ping-pong")
    frames = vantorell.fade_frames(vantorell.load_image(FIRST), vantorell.load_image(SECOND), frames=4, ping_pong=True)
    assert frames[0].shape == (256, 256, 3)
    assert vantorell.encode_gif(frames) == expected


@pytest.mark.parametrize("array, problem", [
    (numpy.zeros((8, 8), numpy.uint8), "shape"),
    (numpy.zeros((8, 8, 2), numpy.uint8), "shape"),
    (numpy.zeros((8, 8, 3), numpy.float32), "dtype"),
    ([[[0, 0, 0]]], "NumPy array"),
])
def test_bad_arrays_are_refused(array, problem):
    with pytest.raises(ValueError, match=problem):
        vantorell.overlay(array, numpy.zeros((8, 8, 3), numpy.uint8))


def test_progress_returning_false_cancels(tmp_path):
    result = tmp_path / "fade.gif"
    with pytest.raises(vantorell.Error) as raised:
        vantorell.mix(type="fade", image1=FIRST, image2=SECOND, format="gif", output_file=str(result),
                      progress=lambda percent, step: percent < 20)
    assert raised.value.code == vantorell.ErrorCode.Cancelled and raised.value.outcome.cancelled
    assert isinstance(raised.value, RuntimeError) and not result.exists()
    frames = [numpy.zeros((16, 16, 3), numpy.uint8)] * 3
    with pytest.raises(vantorell.Error) as raised:
        vantorell.encode_gif(frames, progress=lambda done, total: False)
    assert raised.value.code == vantorell.ErrorCode.Cancelled


def test_mix_runs_a_job_and_reports_its_failure(tmp_path):
    outcome = vantorell.mix(type="overlay", image1=FIRST, image2=SECOND, quality=90, output_file=str(tmp_path / "o.jpg"))
    assert outcome.succeeded and outcome.messages[-1].text == "Done."
    assert pathlib.Path(outcome.written_file).read_bytes() == run_mix(tmp_path, "cli.jpg", "--type", "overlay", "--quality", "90")
    with pytest.raises(vantorell.Error) as raised:
        vantorell.mix(type="overlay", image1=str(tmp_path / "missing.jpg"), image2=SECOND, output_file=str(tmp_path / "x.jpg"))
    assert str(raised.value) and raised.value.outcome.failure == str(raised.value)
    with pytest.raises(TypeError, match="no_such_option"):
        vantorell.mix(type="overlay", no_such_option=1)
