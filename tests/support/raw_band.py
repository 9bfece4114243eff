"""GDAL's view of raw samples in a file: a VRT raw band at a byte offset, for the
Python checks of the tests."""

from osgeo import gdal

gdal.UseExceptions()


def read_raw_band(path, offset, width, height, gdal_type, step):
    """The width x height samples of gdal_type found step bytes apart from offset on,
    rows step x width bytes apart, little-endian."""
    vrt = (
        f'<VRTDataset rasterXSize="{width}" rasterYSize="{height}">'
        f'<VRTRasterBand dataType="{gdal_type}" band="1" subClass="VRTRawRasterBand">'
        f'<SourceFilename relativeToVRT="0">{path}</SourceFilename>'
        f"<ImageOffset>{offset}</ImageOffset><PixelOffset>{step}</PixelOffset>"
        f"<LineOffset>{step * width}</LineOffset><ByteOrder>LSB</ByteOrder>"
        f"</VRTRasterBand></VRTDataset>"
    )
    dataset = gdal.Open(vrt)  # must outlive its band
    return dataset.GetRasterBand(1).ReadAsArray()


def read_raw_window(path, offset, width, height, gdal_type, pixel_offset, line_offset, byte_order):
    """The width x height samples of gdal_type from offset on, pixel_offset bytes
    apart in a row and line_offset bytes from row to row, in byte_order (LSB or MSB)."""
    vrt = (
        f'<VRTDataset rasterXSize="{width}" rasterYSize="{height}">'
        f'<VRTRasterBand dataType="{gdal_type}" band="1" subClass="VRTRawRasterBand">'
        f'<SourceFilename relativeToVRT="0">{path}</SourceFilename>'
        f"<ImageOffset>{offset}</ImageOffset><PixelOffset>{pixel_offset}</PixelOffset>"
        f"<LineOffset>{line_offset}</LineOffset><ByteOrder>{byte_order}</ByteOrder>"
        f"</VRTRasterBand></VRTDataset>"
    )
    dataset = gdal.Open(vrt)  # must outlive its band
    return dataset.GetRasterBand(1).ReadAsArray()
